// SPDX-License-Identifier: Apache-2.0
// The summary of an earlier batch that --resume reads (a file the user hands over, perhaps
// edited or joined from two runs): only cameras it plainly calls upgraded are left out, each
// with a real port and series, and the merged outcome has one line per camera of the list.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fleet/batch_resume.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace camlift;
  const TResumeSummary summary = ReadResumeSummary(fuzz::AsText(data, size));
  if (!summary.ok) {
    FUZZ_CHECK(!summary.error.empty() && summary.upgraded.empty());
    return 0;
  }
  // A list of the cameras the summary names and one it does not name; the same places with
  // another series are other cameras, which all run.
  std::vector<TCameraEntry> cameras;
  std::vector<TCameraEntry> other_series;
  for (const auto& [key, outcome] : summary.upgraded) {
    FUZZ_CHECK(key == outcome.camera.ip + ":" + std::to_string(outcome.camera.port));
    FUZZ_CHECK(outcome.camera.port > 0 && outcome.camera.port <= 65535);
    FUZZ_CHECK(outcome.camera.series != TSeries::None);
    cameras.push_back(outcome.camera);
    TCameraEntry other = outcome.camera;
    other.series = other.series == TSeries::K ? TSeries::M : TSeries::K;
    other_series.push_back(other);
  }
  FUZZ_CHECK(CamerasToResume(other_series, summary).size() == other_series.size());
  const std::size_t named = cameras.size();
  TCameraEntry unnamed;
  unnamed.ip = "unnamed";
  cameras.push_back(unnamed);

  const std::vector<TCameraEntry> left = CamerasToResume(cameras, summary);
  FUZZ_CHECK(left.size() == cameras.size() - named);
  FUZZ_CHECK(left.back().ip == "unnamed");
  std::vector<TBatchOutcome> ran;
  for (const TCameraEntry& c : left) {
    TBatchOutcome outcome;
    outcome.camera = c;
    ran.push_back(outcome);
  }
  const std::vector<TBatchOutcome> merged = MergeResumed(cameras, summary, ran);
  FUZZ_CHECK(merged.size() == cameras.size());
  for (std::size_t i = 0; i < merged.size(); ++i) {
    FUZZ_CHECK(merged[i].camera.ip == cameras[i].ip && merged[i].camera.port == cameras[i].port);
  }
  return 0;
}
