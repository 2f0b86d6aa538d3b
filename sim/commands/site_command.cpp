// SPDX-License-Identifier: Apache-2.0
// camlift-sim site: a whole site of cameras and a repository, and its camera list.
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "serve_options.h"
#include "sim_command_registry.h"
#include "sim_firmware.h"
#include "sim_site.h"

namespace camlift::sim {
namespace {

struct TSiteCommandOptions {
  TSiteOptions site;
  std::string series = "M,P,R,K";
  std::string list;
  TServeOptions serve;
};

int RunSite(TSiteCommandOptions& options) {
  options.site.series.clear();
  std::stringstream names(options.series);
  for (std::string name; std::getline(names, name, ',');) {
    const auto series = ParseSeries(name);
    if (!series) throw std::runtime_error("unknown series \"" + name + "\"");
    options.site.series.push_back(*series);
  }
  TScenario scenario = MakeSiteScenario(options.site);
  if (!options.list.empty()) {
    std::ofstream out(options.list, std::ios::trunc);
    out << SiteCameraList(scenario);
    if (!out.flush()) throw std::runtime_error("cannot write " + options.list);
  }
  return RunUntilSignal(std::move(scenario), options.serve);
}

void SetupSite(CLI::App& root, TSimCommandRunner& run) {
  auto options = std::make_shared<TSiteCommandOptions>();
  TSiteOptions& site = options->site;
  auto* cmd = root.add_subcommand("site", "Run a whole site of cameras and a repository");
  cmd->add_option("--count", site.count, "Number of cameras")->capture_default_str();
  cmd->add_option("--series", options->series, "Series, in turn (e.g. M,P,R,K)")
      ->capture_default_str();
  cmd->add_option("--faulty", site.faulty, "Cameras that misbehave")->capture_default_str();
  cmd->add_option("--excluded", site.excluded,
                  "Cameras whose version the catalogue's NO list names")
      ->capture_default_str();
  cmd->add_option("--up-to-date", site.up_to_date,
                  "Cameras that run the repository's version already")
      ->capture_default_str();
  cmd->add_option("--base-ip", site.base_ip, "Address of the first camera")->capture_default_str();
  cmd->add_option("--port", site.port, "HTTP port of every camera")->capture_default_str();
  cmd->add_option("--password", site.password, "Password of every camera")->capture_default_str();
  cmd->add_option("--repo-root", site.repo_root, "Repository folder")->required();
  cmd->add_option("--repo-port", site.repo_port, "Repository port")->required();
  cmd->add_option("--size", site.firmware_size, "Firmware size in bytes")->capture_default_str();
  cmd->add_option("--list", options->list,
                  "Write the camera list (CSV) for camlift upgrade --from");
  AddServeOptions(*cmd, options->serve, /*with_wildcard=*/false);
  cmd->callback([options, &run] { run = [options] { return RunSite(*options); }; });
}

}  // namespace

CAMLIFT_REGISTER_SIM_COMMAND("site", SetupSite);

}  // namespace camlift::sim
