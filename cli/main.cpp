// SPDX-License-Identifier: Apache-2.0
// camlift: the desktop window when started without a subcommand, else the command line.
#include <cstdio>
#include <iostream>
#include <stdexcept>

#include "command_registry.h"
#include "platform/broadcast.h"
#include "platform/paths.h"
#include "platform/timing.h"

#ifdef CAMLIFT_HAVE_GUI
#include "gui_main.h"
#endif

namespace {

// Settings from the environment are checked once, before anything waits or broadcasts.
bool CheckEnvironment() {
  try {
    camlift::TimeScale();
    camlift::BroadcastAddressText();
    return true;
  } catch (const std::invalid_argument& e) {
    std::cerr << "camlift: " << e.what() << "\n";
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace camlift::cli;
  if (!CheckEnvironment()) return kExitUsage;

  CLI::App app{
      "Camlift: finds IP cameras on the LAN and upgrades their firmware.\n"
      "Without a subcommand the desktop window opens.",
      "camlift"};
  app.set_version_flag("--version", CAMLIFT_VERSION_TEXT);
  app.require_subcommand(0, 1);
  CommandRunner run;
  for (const CommandRegistration& command : RegisteredCommands()) command.setup(app, run);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }
  // A copy in a folder that other users may write leaves that folder alone; the user learns why
  // the options or the library beside it are not used.
  if (const std::string warning = camlift::ProgramFolderWarning(); !warning.empty()) {
    std::cerr << "camlift: " << warning << "\n";
  }
  if (run) {
    try {
      return run();
    } catch (const std::exception& e) {
      std::cerr << "camlift: " << e.what() << "\n";
      return kExitFailed;
    }
  }
#ifdef CAMLIFT_HAVE_GUI
  return RunCamliftGui(argc, argv);
#else
  std::cout << app.help();
  return kExitOk;
#endif
}
