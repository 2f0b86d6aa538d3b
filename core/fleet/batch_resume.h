// SPDX-License-Identifier: Apache-2.0
// Picking up a batch where an earlier run left it: the summary that run wrote (--summary-json)
// names the cameras it upgraded; those are not touched again, the others run.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fleet/batch_upgrade.h"

namespace camlift {

struct TResumeSummary {
  bool ok = false;
  std::string error;
  // The outcomes of the cameras that ran the new firmware at the end, by "ip:port".
  std::map<std::string, TBatchOutcome> upgraded;
  // What those cameras were upgraded with, when every one of their lines says it and all agree.
  std::optional<TBatchRunFacts> facts;
  bool facts_differ = false;  // their lines name different kinds or sources
};

TResumeSummary ReadResumeSummary(std::string_view json_text);

// The repository URL as a summary records it and as it is compared: without "user:password@".
std::string RepositoryForSummary(const std::string& url);

// Why the summary cannot be resumed by a run with these facts (a usage error), or empty. A
// summary whose upgraded cameras do not say their firmware kind and source (an older one), or
// say another, would make the run skip cameras it never upgraded.
std::string ResumeMismatch(const TResumeSummary& summary, const TBatchRunFacts& now);

// The cameras of the list that still need their run, in list order.
std::vector<TCameraEntry> CamerasToResume(const std::vector<TCameraEntry>& cameras,
                                          const TResumeSummary& summary);

// One outcome per camera of the list, in list order: the new run's where it ran one, else the
// earlier summary's, marked as such.
std::vector<TBatchOutcome> MergeResumed(const std::vector<TCameraEntry>& cameras,
                                        const TResumeSummary& summary,
                                        const std::vector<TBatchOutcome>& ran);

}  // namespace camlift
