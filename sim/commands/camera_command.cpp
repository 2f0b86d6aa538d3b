// SPDX-License-Identifier: Apache-2.0
// camlift-sim camera --series P --ip ...: one camera, every setting of it an option.
#include <memory>
#include <stdexcept>
#include <variant>

#include "serve_options.h"
#include "sim_camera.h"
#include "sim_command_registry.h"
#include "sim_firmware.h"

namespace camlift::sim {
namespace {

struct TCameraOptions {
  TCameraConfig camera;
  std::string series = "P";
  std::vector<std::string> faults;
  TServeOptions serve;
};

int RunCamera(TCameraOptions& options) {
  const auto series = ParseSeries(options.series);
  if (!series) throw std::runtime_error("--series must be " + SeriesList());
  options.camera.series = *series;
  for (const auto& name : options.faults) {
    const auto fault = ParseCameraFault(name);
    if (!fault) throw std::runtime_error("unknown camera fault \"" + name + "\"");
    options.camera.faults.insert(*fault);
  }
  TScenario scenario;
  scenario.cameras.push_back(options.camera);
  return RunUntilSignal(std::move(scenario), options.serve);
}

void SetupCamera(CLI::App& root, TSimCommandRunner& run) {
  auto options = std::make_shared<TCameraOptions>();
  auto* cmd = root.add_subcommand("camera", "Run one camera");
  cmd->add_option("--series", options->series, SeriesList())->required();
  for (const TCameraSetting& setting : CameraSettings()) {
    std::visit(
        [&](auto member) {
          CLI::Option* option =
              cmd->add_option(CameraSettingOption(setting), options->camera.*member, setting.help);
          if (setting.flags & kSettingRequired) option->required();
          if (setting.flags & kSettingShowDefault) option->capture_default_str();
        },
        setting.member);
  }
  cmd->add_option("--fault", options->faults, "Fault switch: " + JoinNames(CameraFaultNames()));
  AddServeOptions(*cmd, options->serve);
  cmd->callback([options, &run] { run = [options] { return RunCamera(*options); }; });
}

}  // namespace

CAMLIFT_REGISTER_SIM_COMMAND("camera", SetupCamera);

}  // namespace camlift::sim
