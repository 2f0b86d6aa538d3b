// SPDX-License-Identifier: Apache-2.0
// camlift-sim: simulated cameras (series K, M, P, R) and a firmware repository, for tests, demos
// and integrators who want to try Camlift without a camera.
//
//   camlift-sim run --scenario FILE [--record FILE]
//   camlift-sim camera --series P --ip 127.0.0.2 --port 8081 [--user admin --password x ...]
//   camlift-sim repo serve --root DIR --ip 127.0.0.1 --port 8090 [--fault stall ...]
//   camlift-sim repo add --root DIR --folder system --section S --kind sys --version V --series M
//   camlift-sim repo keygen --key FILE            (prints the public key for repository_keys)
//   camlift-sim repo sign --key FILE --root DIR   (or catalogue files: writes firmware.txt.sig)
//   camlift-sim repo serve ... --https CA_DIR     (HTTPS with a test CA kept in CA_DIR)
//   camlift-sim firmware write|show ...
//   camlift-sim site --count N --repo-root DIR --repo-port P ...
//
// Each subcommand is a file of commands/ that registers itself. Servers print one line per
// listener, then "camlift-sim: ready" and the line a client needs ("export CAMLIFT_TIME_SCALE=...
// CAMLIFT_BROADCAST_ADDR=127.255.255.255") on stdout, and run until SIGINT or SIGTERM; with
// --detach they return once the simulator listens, and it goes on in the background.
// CAMLIFT_TIME_SCALE scales the simulator's waits as it does the client's.
#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>

#include "platform/timing.h"
#include "sim_command_registry.h"

int main(int argc, char** argv) {
  using namespace camlift::sim;
  CLI::App app{"camlift-sim: simulated IP cameras (series K, M, P, R) and a firmware repository",
               "camlift-sim"};
  app.set_version_flag("--version", CAMLIFT_VERSION_TEXT);
  app.require_subcommand(1);
  TSimCommandRunner run;
  for (const TSimCommandRegistration& command : RegisteredSimCommands()) command.setup(app, run);

  CLI11_PARSE(app, argc, argv);

  try {
    // A time scale the client would refuse stops the simulator too, before anything listens.
    camlift::TimeScale();
    return run ? run() : 0;
  } catch (const std::exception& e) {
    std::cerr << "camlift-sim: " << e.what() << "\n";
    return 1;
  }
}
