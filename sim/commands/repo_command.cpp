// SPDX-License-Identifier: Apache-2.0
// camlift-sim repo serve|keygen|sign|add: the simulated firmware repository and its catalogues.
#include <iostream>
#include <memory>
#include <stdexcept>

#include "serve_options.h"
#include "sim_command_registry.h"
#include "sim_firmware.h"
#include "sim_repository.h"
#include "sim_signing.h"

namespace camlift::sim {
namespace {

struct TServeRepoOptions {
  TRepoConfig repository;
  std::vector<std::string> faults;
  TServeOptions serve;
};

int RunServe(TServeRepoOptions& options) {
  for (const auto& name : options.faults) {
    const auto fault = ParseRepoFault(name);
    if (!fault) throw std::runtime_error("unknown repository fault \"" + name + "\"");
    options.repository.faults.insert(*fault);
  }
  TScenario scenario;
  scenario.repository = options.repository;
  return RunUntilSignal(std::move(scenario), options.serve);
}

struct TSignOptions {
  std::string key_path;
  std::string root;
  std::vector<std::string> files;
};

int RunSign(TSignOptions& options) {
  if (!options.root.empty()) {
    const auto found = CataloguesBelow(options.root);
    options.files.insert(options.files.end(), found.begin(), found.end());
  }
  if (options.files.empty()) throw std::runtime_error("no catalogue to sign (--root or files)");
  std::string error;
  if (!RepoSign(options.key_path, options.files, error)) throw std::runtime_error(error);
  for (const auto& file : options.files) std::cout << "signed " << file << ".sig\n";
  return 0;
}

int RunKeygen(const std::string& key_path) {
  std::string public_key, error;
  if (!RepoKeygen(key_path, public_key, error)) throw std::runtime_error(error);
  std::cout << "[Global]\nrepository_keys=" << public_key << "\n";
  return 0;
}

struct TAddOptions {
  TRepoAddOptions add;
  std::string kind = "sys";
  std::string series;
};

int RunAdd(TAddOptions& options) {
  const auto series = ParseSeries(options.series);
  const auto kind = ParseKind(options.kind);
  if (!series || !kind)
    throw std::runtime_error("--series must be " + SeriesList() + ", --kind sys or ui");
  options.add.series = *series;
  options.add.kind = *kind;
  TRepoAddResult result;
  std::string error;
  if (!RepoAdd(options.add, result, error)) throw std::runtime_error(error);
  std::cout << "archive " << result.archive_path << "\nentry " << result.entry_name << "\nmd5 "
            << result.md5 << "\ncatalogue " << result.catalogue_path << "\n";
  return 0;
}

void SetupServe(CLI::App& repo, TSimCommandRunner& run) {
  auto options = std::make_shared<TServeRepoOptions>();
  auto* cmd = repo.add_subcommand("serve", "Serve a repository folder under /FM/");
  TRepoConfig& config = options->repository;
  cmd->add_option("--root", config.root, "Repository folder")->required();
  cmd->add_option("--ip", config.ip, "Address to listen on")->capture_default_str();
  cmd->add_option("--port", config.port, "Port (0: any free port)")->required();
  cmd->add_option("--fault", options->faults, "Fault switch: " + JoinNames(RepoFaultNames()));
  AddServeOptions(*cmd, options->serve);
  cmd->add_option("--https", config.tls_dir,
                  "Serve HTTPS with the test CA in this folder (made when missing; give its "
                  "ca.pem to camlift --ca-file)");
  cmd->add_option("--tls-name", config.tls_name,
                  "Name the server certificate is issued for (default: --ip)");
  cmd->callback([options, &run] { run = [options] { return RunServe(*options); }; });
}

void SetupKeygen(CLI::App& repo, TSimCommandRunner& run) {
  auto key_path = std::make_shared<std::string>();
  auto* cmd = repo.add_subcommand("keygen", "Make a key pair for signing catalogues");
  cmd->add_option("--key", *key_path, "Private key file to create (PEM)")->required();
  cmd->callback([key_path, &run] { run = [key_path] { return RunKeygen(*key_path); }; });
}

void SetupSign(CLI::App& repo, TSimCommandRunner& run) {
  auto options = std::make_shared<TSignOptions>();
  auto* cmd = repo.add_subcommand("sign", "Sign catalogues: writes firmware.txt.sig beside each");
  cmd->add_option("--key", options->key_path, "Private key file (PEM)")->required();
  cmd->add_option("--root", options->root, "Sign every catalogue of this repository folder");
  cmd->add_option("files", options->files, "Catalogue files to sign");
  cmd->callback([options, &run] { run = [options] { return RunSign(*options); }; });
}

void SetupAdd(CLI::App& repo, TSimCommandRunner& run) {
  auto options = std::make_shared<TAddOptions>();
  auto* cmd = repo.add_subcommand("add", "Make a firmware archive and enter it in firmware.txt");
  TRepoAddOptions& add = options->add;
  cmd->add_option("--root", add.root, "Repository folder")->required();
  cmd->add_option("--folder", add.folder, "\"system\" or the OEM text")->required();
  cmd->add_option("--section", add.section, "Catalogue section (model key)")->required();
  cmd->add_option("--kind", options->kind, "sys or ui")->capture_default_str();
  cmd->add_option("--version", add.version, "Firmware version")->required();
  cmd->add_option("--series", options->series, SeriesList())->required();
  cmd->add_option("--size", add.size, "Size of the firmware file in bytes")->capture_default_str();
  cmd->add_option("--no", add.excluded, "Excluded current versions (key NO)");
  cmd->add_option("--archive", add.archive_name,
                  "Archive file name (default fw_<series>_<kind>_<version>.zip)");
  cmd->add_flag("--stored", add.stored, "Store without compression");
  cmd->add_flag("--sha256", add.sha256, "Also enter the archive's SHA256");
  cmd->callback([options, &run] { run = [options] { return RunAdd(*options); }; });
}

void SetupRepo(CLI::App& root, TSimCommandRunner& run) {
  auto* repo = root.add_subcommand("repo", "Firmware repository");
  repo->require_subcommand(1);
  SetupServe(*repo, run);
  SetupKeygen(*repo, run);
  SetupSign(*repo, run);
  SetupAdd(*repo, run);
}

}  // namespace

CAMLIFT_REGISTER_SIM_COMMAND("repo", SetupRepo);

}  // namespace camlift::sim
