// SPDX-License-Identifier: Apache-2.0
// Each subcommand lives in its own file and registers itself here; main() builds the command line
// from the registrations. A setup function adds its subcommand to the root and, in the
// subcommand's callback, stores what to run into `run`.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <vector>

namespace camlift::cli {

using CommandRunner = std::function<int()>;
using CommandSetup = void (*)(CLI::App& root, CommandRunner& run);

struct CommandRegistration {
  const char* name;
  CommandSetup setup;
};

// Exit status of the command line (usage errors are 2 for every subcommand).
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

bool RegisterCommand(const char* name, CommandSetup setup);
const std::vector<CommandRegistration>& RegisteredCommands();

}  // namespace camlift::cli

#define CAMLIFT_REGISTER_COMMAND(name, setup) \
  static const bool camlift_registered_##setup = ::camlift::cli::RegisterCommand(name, setup)
