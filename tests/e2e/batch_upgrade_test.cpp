// SPDX-License-Identifier: Apache-2.0
// camlift upgrade --from: a simulated site of twenty cameras, three of them faulty.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "e2e_site.h"
#include "platform/timing.h"
#include "sim_repository.h"
#include "sim_site.h"

namespace camlift::test {
namespace {

TEST(BatchUpgrade, TwentyCamerasThreeFaulty) {
  TTempFolder temp;
  SetTimeScaleForTesting(std::stod(kE2eTimeScale));
  sim::TSiteOptions options;
  options.count = 20;
  options.faulty = 3;
  const int pid = static_cast<int>(::getpid());
  options.base_ip =
      "127." + std::to_string(pid / 250 % 250 + 1) + "." + std::to_string(pid % 250 + 1) + ".101";
  options.repo_root = temp.path() + "repo";
  auto recorder = std::make_shared<sim::TSimRecorder>();
  sim::TScenario scenario = sim::MakeSiteScenario(options);
  const std::string list = temp.path() + "cameras.csv";
  WriteFile(list, sim::SiteCameraList(scenario) + "# a comment line\n");
  sim::TSimulator simulator(scenario, recorder);
  simulator.Start();

  const std::string summary = temp.path() + "summary.json";
  const TProcessResult run =
      RunProcess({CAMLIFT_EXE, "upgrade", "--from", list, "--jobs", "4", "--yes", "--repository",
                  simulator.repository()->BaseUrl(), "--data-dir", temp.path() + "data",
                  "--summary-json", summary},
                 {{"CAMLIFT_TIME_SCALE", kE2eTimeScale},
                  {"LC_ALL", "C"},
                  {"XDG_CONFIG_HOME", temp.path() + "config"}});
  simulator.Stop();
  EXPECT_EQ(1, run.exit_code) << run.err;

  const nlohmann::json outcomes = nlohmann::json::parse(ReadFile(summary));
  ASSERT_EQ(20u, outcomes.size());
  std::map<std::string, std::string> results, reasons;
  int ok = 0;
  for (const auto& o : outcomes) {
    results[o["ip"]] = o["result"];
    reasons[o["ip"]] = o["reason"];
    ok += o["result"] == "ok";
    EXPECT_TRUE(std::filesystem::exists(o["log"].get<std::string>())) << o.dump();
  }
  EXPECT_EQ(17, ok);
  // The faulty ones, by their place in the site (every sixth camera).
  const auto& cams = scenario.cameras;
  EXPECT_EQ("failed", results[cams[5].ip]);
  // The account was refused: the reason says so rather than pointing at the cable.
  EXPECT_EQ("The camera refused the account or password.", reasons[cams[5].ip]);
  EXPECT_EQ("failed", results[cams[11].ip]);
  EXPECT_EQ("Error on reading ROM for upgrade.", reasons[cams[11].ip]);
  EXPECT_EQ("version unchanged", results[cams[17].ip]);
  EXPECT_EQ("The camera still reports the version:2.0.0.0", reasons[cams[17].ip]);
  // The table on stdout tells the same.
  EXPECT_NE(std::string::npos, run.out.find("version unchanged"));

  // No camera received another series' firmware.
  std::map<std::string, std::string> series_of;
  for (const auto& c : cams) series_of[c.ip] = sim::SeriesText(c.series);
  int http_uploads = 0;
  for (const auto& entry : recorder->Entries()) {
    if (!entry.contains("upload") || entry["upload"]["firmware"].is_null()) continue;
    ++http_uploads;
    EXPECT_EQ(series_of[entry["address"]], entry["upload"]["firmware"]["series"]) << entry.dump();
  }
  EXPECT_GE(http_uploads, 12);
}

// Three series P cameras in a batch of one job against a repository whose catalogue stalls;
// SIGINT goes to camlift once the first camera's catalogue fetch is under way.
struct TStoppedBatch {
  TProcessResult run;
  nlohmann::json outcomes;
  std::chrono::steady_clock::duration elapsed{};
  bool nothing_uploaded = false;
};

TStoppedBatch RunBatchStoppedInTheCatalogueFetch(const std::vector<std::string>& extra_args,
                                                 const std::string& time_scale) {
  TE2eSite site;
  std::string list = "ip,port,series,user,password\n";
  for (int i = 0; i < 3; ++i) {
    sim::TCameraConfig config;
    config.series = sim::TSimSeries::P;
    config.password = "531642";
    const auto& camera = site.AddCamera(config);
    list += camera.config().ip + "," + std::to_string(camera.http_port()) + ",P,admin,531642\n";
  }
  site.AddFirmware(sim::TSimSeries::P, sim::TFirmwareKind::System, "system", "SIM100", "1.0.0.2");
  site.StartRepository({sim::TRepoFault::Stall});
  const std::string list_file = site.Root() + "cameras.csv";
  const std::string summary = site.Root() + "summary.json";
  WriteFile(list_file, list);

  std::atomic<bool> done{false};
  std::thread stopper;
  const auto started = [&](int pid) {
    stopper = std::thread([&, pid] {
      const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (!done && std::chrono::steady_clock::now() < limit) {
        for (const auto& record : site.Records()) {
          if (record.value("target", "") != "/FM/system/firmware.txt") continue;
          // Into the stalled fetch.
          std::this_thread::sleep_for(std::chrono::milliseconds(200));
          ::kill(pid, SIGINT);
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
  };
  std::vector<std::string> args = {"upgrade", "--from", list_file};
  args.insert(args.end(), extra_args.begin(), extra_args.end());
  args.insert(args.end(), {"--jobs", "1", "--yes", "--repository", site.RepositoryUrl(),
                           "--data-dir", site.DataDir(), "--summary-json", summary});
  TStoppedBatch result;
  const auto begin = std::chrono::steady_clock::now();
  result.run = site.Run(args, "", {{"CAMLIFT_TIME_SCALE", time_scale}}, started);
  result.elapsed = std::chrono::steady_clock::now() - begin;
  done = true;
  stopper.join();
  if (std::filesystem::exists(summary)) result.outcomes = nlohmann::json::parse(ReadFile(summary));
  result.nothing_uploaded = site.Uploads().empty();
  return result;
}

// The camera in progress reads as stopped by the user, the others as not started.
void ExpectStoppedInProgressAndNoneStarted(const TStoppedBatch& batch) {
  EXPECT_EQ(1, batch.run.exit_code) << batch.run.out << batch.run.err;
  ASSERT_EQ(3u, batch.outcomes.size()) << batch.run.out;
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"cancelled", "The upgrade was stopped by the user."},
      {"cancelled", "not started"},
      {"cancelled", "not started"},
  };
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].first, batch.outcomes[i]["result"]) << i << batch.run.out;
    EXPECT_EQ(expected[i].second, batch.outcomes[i]["reason"]) << i << batch.run.out;
  }
  EXPECT_TRUE(batch.nothing_uploaded);
}

// Ctrl+C during a batch: the camera in progress stops where it safely can (here in its stalled
// download; the stall's time-out is 1.5 s at this scale), the cameras not yet started stay
// untouched, and no camera receives anything.
TEST(BatchUpgrade, CtrlCStopsTheCameraInProgressAndStartsNoOther) {
  ExpectStoppedInProgressAndNoneStarted(RunBatchStoppedInTheCatalogueFetch({}, "0.05"));
}

// A plan (--dry-run) fetches the catalogue and the firmware as the upgrade does: Ctrl+C ends a
// stalled fetch at once instead of after the stall's time-out (30 s at this scale).
TEST(BatchUpgrade, CtrlCStopsThePlanOfTheCameraInProgress) {
  const TStoppedBatch batch = RunBatchStoppedInTheCatalogueFetch({"--dry-run"}, "1");
  EXPECT_LT(batch.elapsed, std::chrono::seconds(20)) << "the stalled fetch was waited out";
  ExpectStoppedInProgressAndNoneStarted(batch);
}

TEST(BatchUpgrade, ListErrorsStopBeforeAnythingStarts) {
  TTempFolder temp;
  const std::string list = temp.path() + "cameras.csv";
  WriteFile(list, "ip,port,series\n127.0.0.2,81,P\n127.0.0.2,81,M\n");
  const TProcessResult run = RunProcess({CAMLIFT_EXE, "upgrade", "--from", list});
  EXPECT_EQ(2, run.exit_code);
  EXPECT_NE(std::string::npos, run.err.find("listed twice"));
  EXPECT_EQ("", run.out);
  EXPECT_EQ(2,
            RunProcess({CAMLIFT_EXE, "upgrade", "--from", temp.path() + "missing.csv"}).exit_code);
  EXPECT_EQ(2, RunProcess({CAMLIFT_EXE, "upgrade", "--from", list, "--ip", "1.2.3.4"}).exit_code);
}

}  // namespace
}  // namespace camlift::test
