// SPDX-License-Identifier: Apache-2.0
// camlift fetch: downloads and verifies the firmware a camera would get, into the work folder's
// cache, so that a laptop can fetch in the office and upgrade on site without a network.
#include <iostream>
#include <memory>

#include "camera_source.h"
#include "cli_session.h"
#include "command_registry.h"
#include "fleet/upgrader_setup.h"
#include "i18n/str_res.h"
#include "repository/repository_text.h"
#include "util/text_fields.h"

namespace camlift::cli {
namespace {

struct FetchOptions {
  std::string series;
  bool ui = false;
  std::string model;
  std::string version;
  std::string oem;
  TRepositoryOptions repository;
};

// True when the repository gave a reason of its own (a refused catalogue, a certificate).
bool PrintRepositoryProblem(const TUpgradeObject& upgrader) {
  const TRepositoryProblem& problem = upgrader.RepositoryProblem();
  if (problem.key.empty()) return false;
  std::cerr << "camlift: " << RepositoryProblemText(problem) << "\n";
  return true;
}

int RunFetch(const FetchOptions& options) {
  const TUpgraderSettings settings = RunSettingsOf(options.repository, options.ui);
  TCliSession session("en");
  if (settings.repository_url.empty()) {
    std::cerr << "camlift: no firmware repository is configured (--repository)\n";
    return kExitFailed;
  }
  // No camera is asked: the series alone chooses the catalogue's keys.
  TCameraEntry camera;
  camera.series = SeriesFromLetter(options.series);
  auto upgrader = SetUpUpgrader(camera, settings);
  if (!upgrader) return kExitFailed;
  SayUnusableKeys(settings.trust);
  upgrader->SetModel(options.model);
  upgrader->SetCurrentVersion(options.version);
  upgrader->SetOemText(options.oem);
  std::string md5, excluded, latest;
  upgrader->ReadLatestVersion(md5, excluded, latest);
  if (latest.empty()) {
    if (PrintRepositoryProblem(*upgrader)) return kExitFailed;
    std::cerr << "camlift: the catalogue has no firmware for \"" << upgrader->ModelKey() << "\"\n";
    return kExitFailed;
  }
  if (!upgrader->DownloadFirmware(md5)) {
    PrintRepositoryProblem(*upgrader);
    std::cerr << "camlift: the firmware " << ShownText(latest)
              << " could not be fetched and verified\n";
    return kExitFailed;
  }
  // Version and NO list are the catalogue's texts.
  std::cout << "version " << ShownText(latest) << " verified: " << upgrader->LocalFilePath()
            << "\n";
  if (!excluded.empty()) std::cout << "not for cameras running: " << ShownText(excluded) << "\n";
  return kExitOk;
}

void SetupFetch(CLI::App& root, CommandRunner& run) {
  auto options = std::make_shared<FetchOptions>();
  CLI::App* cmd = root.add_subcommand(
      "fetch", "Download and verify the firmware a camera would get, for an upgrade later");
  cmd->add_option("--series", options->series, "Camera series")
      ->required()
      ->check(CLI::IsMember(SeriesLetters(), CLI::ignore_case));
  cmd->add_flag("--ui", options->ui, "The UI firmware instead of the system firmware");
  auto* model =
      cmd->add_option("--model", options->model, "The camera's model (catalogue section)");
  auto* version = cmd->add_option("--version", options->version,
                                  "The camera's current version (for cameras without a model)");
  model->excludes(version);
  cmd->add_option("--oem", options->oem, "The camera's OEM text (UI firmware)");
  AddRepositoryOptions(cmd, options->repository, "Work folder (the cache lives in its Bin/)");
  cmd->callback([options, &run] {
    if (options->model.empty() && options->version.empty()) {
      throw CLI::RequiredError("--model or --version");
    }
    if (options->ui && options->oem.empty()) throw CLI::RequiredError("--oem (with --ui)");
    run = [options] { return RunFetch(*options); };
  });
}

}  // namespace

CAMLIFT_REGISTER_COMMAND("fetch", SetupFetch);

}  // namespace camlift::cli
