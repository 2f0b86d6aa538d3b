// SPDX-License-Identifier: Apache-2.0
// Each camlift-sim subcommand lives in its own file and registers itself here, as the camlift
// commands do; main() builds the command line from the registrations. A setup function adds its
// subcommand to the root and, in the subcommand's callback, stores what to run into `run`.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <vector>

namespace camlift::sim {

using TSimCommandRunner = std::function<int()>;
using TSimCommandSetup = void (*)(CLI::App& root, TSimCommandRunner& run);

struct TSimCommandRegistration {
  const char* name;
  TSimCommandSetup setup;
};

bool RegisterSimCommand(const char* name, TSimCommandSetup setup);
// Sorted by name, so that the help lists them alike in every build.
const std::vector<TSimCommandRegistration>& RegisteredSimCommands();

}  // namespace camlift::sim

#define CAMLIFT_REGISTER_SIM_COMMAND(name, setup) \
  static const bool camlift_sim_registered_##setup = ::camlift::sim::RegisterSimCommand(name, setup)
