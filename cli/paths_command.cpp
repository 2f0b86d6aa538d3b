// SPDX-License-Identifier: Apache-2.0
// camlift paths: the folders and files this copy uses, for support ("where is my option.ini?").
#include <filesystem>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "command_registry.h"
#include "platform/paths.h"
#include "repository/repository_text.h"
#include "repository/repository_url.h"
#include "util/option_file.h"
#include "util/tools.h"

namespace camlift::cli {
namespace {

struct PathsOptions {
  std::string data_dir;
  bool json = false;
};

std::string Presence(const std::string& file) {
  std::error_code ec;
  return std::filesystem::exists(file, ec) ? "" : " (not present)";
}

int RunPaths(const PathsOptions& options) {
  if (!options.data_dir.empty()) SetWorkFolder(options.data_dir);
  const std::string program = TTools::ModuleFileName();
  const bool installed = ProgramIsInstalled();
  const std::string defaults = DefaultsFolder("option.ini") + "option.ini";
  const TOptionFile option_file;
  const std::string user = option_file.UserFileName();
  // A report only: nothing is created, not even the folders it names.
  const std::string cache = CacheFolderName();
  const std::string state = StateFolderName();
  const std::string repository = ShownRepositoryUrl(ResolveRepositoryUrl(""));
  const std::string distrust = ProgramFolderDistrust(ProgramFolder());

  if (options.json) {
    nlohmann::json out = {{"program", program},      {"installed", installed},
                          {"userOptions", user},     {"defaultOptions", defaults},
                          {"cache", cache},          {"state", state},
                          {"logs", state + "logs/"}, {"firmware", cache + "Bin/"},
                          {"temp", TempFolder()},    {"repository", repository}};
    if (!distrust.empty()) out["untrustedProgramFolder"] = distrust;
    std::cout << out.dump() << "\n";
    return kExitOk;
  }
  std::cout << "program:          " << program
            << (!distrust.empty() ? " (its folder is not trusted: " + distrust + "; XDG folders)"
                : installed       ? std::string(" (installed: XDG folders)")
                                  : std::string(" (run from its own folder)"))
            << "\n"
            << "user options:     " << user << Presence(user) << "\n"
            << "default options:  " << defaults << Presence(defaults) << "\n"
            << "cache:            " << cache << " (catalogues, downloads, firmware in Bin/)\n"
            << "state:            " << state << " (batch logs in logs/, history)\n"
            << "temporary:        " << TempFolder() << " (language files)\n"
            << "repository:       " << (repository.empty() ? "(none configured)" : repository)
            << "\n";
  return kExitOk;
}

void SetupPaths(CLI::App& root, CommandRunner& run) {
  auto options = std::make_shared<PathsOptions>();
  CLI::App* cmd =
      root.add_subcommand("paths", "Print the folders and files in use (options, cache, logs)");
  cmd->add_option("--data-dir", options->data_dir, "Work folder, as upgrade --data-dir takes it");
  cmd->add_flag("--json", options->json, "One JSON object");
  cmd->callback([options, &run] { run = [options] { return RunPaths(*options); }; });
}

}  // namespace

CAMLIFT_REGISTER_COMMAND("paths", SetupPaths);

}  // namespace camlift::cli
