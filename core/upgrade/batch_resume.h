// SPDX-License-Identifier: Apache-2.0
// Picking up a batch where an earlier run left it: the summary that run wrote (--summary-json)
// names the cameras it upgraded; those are not touched again, the others run.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "upgrade/batch_upgrade.h"

namespace camlift {

struct TResumeSummary {
  bool ok = false;
  std::string error;
  // The outcomes of the cameras that ran the new firmware at the end, by "ip:port".
  std::map<std::string, TBatchOutcome> upgraded;
};

TResumeSummary ReadResumeSummary(std::string_view json_text);

// The cameras of the list that still need their run, in list order.
std::vector<TCameraEntry> CamerasToResume(const std::vector<TCameraEntry>& cameras,
                                          const TResumeSummary& summary);

// One outcome per camera of the list, in list order: the new run's where it ran one, else the
// earlier summary's, marked as such.
std::vector<TBatchOutcome> MergeResumed(const std::vector<TCameraEntry>& cameras,
                                        const TResumeSummary& summary,
                                        const std::vector<TBatchOutcome>& ran);

}  // namespace camlift
