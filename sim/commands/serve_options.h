// SPDX-License-Identifier: Apache-2.0
// What the serving subcommands (run, camera, repo serve, site) share: their common options and the
// run until SIGINT or SIGTERM.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "sim_scenario.h"

namespace camlift::sim {

struct TServeOptions {
  std::string record;  // replaces the scenario's record file when given
  bool allow_wildcard = false;
  bool detach = false;
};

// --record and --detach, and --allow-wildcard unless the command always picks its addresses.
void AddServeOptions(CLI::App& command, TServeOptions& options, bool with_wildcard = true);

// Starts the scenario, prints one line per listener, "camlift-sim: ready" and the client's
// environment line, and runs until SIGINT or SIGTERM (with detach: in the background once ready).
int RunUntilSignal(TScenario scenario, const TServeOptions& options);

// "a, b, c"
std::string JoinNames(const std::vector<std::string>& names);

}  // namespace camlift::sim
