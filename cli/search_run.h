// SPDX-License-Identifier: Apache-2.0
// The search of `camlift search`, for the commands that start from the cameras on the LAN.
#pragma once

#include <string>
#include <vector>

#include "discovery/dev_info.h"
#include "discovery/search_diagnostics.h"

namespace camlift::cli {

struct TSearchOutcome {
  std::vector<TDevInfo> rows;  // sorted by IP address
  TSearchDiagnostics diagnostics;
};

// Runs the selection dialog's background search for a number of passes, one second apart.
TSearchOutcome Search(int passes, const std::string& address);

}  // namespace camlift::cli
