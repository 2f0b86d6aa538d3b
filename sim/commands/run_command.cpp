// SPDX-License-Identifier: Apache-2.0
// camlift-sim run --scenario FILE: the cameras and the repository of a scenario file.
#include <memory>

#include "serve_options.h"
#include "sim_command_registry.h"
#include "sim_scenario.h"

namespace camlift::sim {
namespace {

struct TRunOptions {
  std::string scenario_path;
  TServeOptions serve;
};

void SetupRun(CLI::App& root, TSimCommandRunner& run) {
  auto options = std::make_shared<TRunOptions>();
  auto* cmd = root.add_subcommand("run", "Run the cameras and the repository of a scenario file");
  cmd->add_option("--scenario", options->scenario_path, "Scenario file (JSON)")->required();
  AddServeOptions(*cmd, options->serve);
  cmd->callback([options, &run] {
    run = [options] {
      return RunUntilSignal(LoadScenario(options->scenario_path), options->serve);
    };
  });
}

}  // namespace

CAMLIFT_REGISTER_SIM_COMMAND("run", SetupRun);

}  // namespace camlift::sim
