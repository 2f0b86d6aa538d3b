// SPDX-License-Identifier: Apache-2.0
// camlift status: which cameras need an upgrade. For every camera of a search, a list or one
// address, the reads of an upgrade up to the catalogue lookup; one table at the end.
#include <unistd.h>

#include <ctime>
#include <iostream>
#include <memory>
#include <set>

#include "camera_source.h"
#include "cli_session.h"
#include "command_registry.h"
#include "discovery/dev_types.h"
#include "fleet/camera_list.h"
#include "fleet/status_metrics.h"
#include "fleet/status_read.h"
#include "util/file_replace.h"

namespace camlift::cli {
namespace {

struct TStatusCliOptions {
  TCameraSourceOptions cameras;
  TRepositoryOptions repository;
  bool ui = false;
  bool json = false;
  bool csv = false;
  int jobs = 8;
  int passes = 3;
  std::string openmetrics;
};

int RunStatus(const TStatusCliOptions& options) {
  const TCliSession session("en");  // the texts of a refused catalogue and of the account rule
  std::vector<TCameraEntry> cameras;
  if (!CollectCameras(options.cameras, options.passes, cameras)) return kExitUsage;

  TStatusOptions status;
  static_cast<TUpgraderSettings&>(status) = RunSettingsOf(options.repository, options.ui);
  SayUnusableKeys(status.trust);
  if (status.repository_url.empty()) {
    // Without a repository every camera would read as "no firmware": say why instead.
    std::cerr << "camlift: no firmware repository is configured (--repository, "
                 "CAMLIFT_REPOSITORY_URL or the options file); the catalogue column stays empty\n";
  }
  status.jobs = options.jobs;
  const bool tty = ::isatty(2) != 0;
  bool shown = false;
  const std::vector<TCameraStatus> rows = ReadFleetStatus(
      cameras, status, [&](const TCameraStatus&, std::size_t done, std::size_t total) {
        if (!tty) return;
        std::cerr << "\rreading cameras: " << done << " / " << total << "\033[K" << std::flush;
        shown = true;
      });
  if (shown) std::cerr << "\r\033[K" << std::flush;

  if (options.csv) {
    std::cout << StatusCsv(rows);
  } else if (options.json) {
    std::cout << StatusJsonLines(rows);
  } else {
    std::cout << StatusTable(rows);
  }
  std::cout.flush();
  // A refused catalogue reads as "no firmware" in the table: each reason is said once.
  std::set<std::string> problems;
  for (const TCameraStatus& row : rows) {
    if (!row.repository_problem.empty() && problems.insert(row.repository_problem).second) {
      std::cerr << "camlift: " << row.repository_problem << "\n";
    }
  }
  if (cameras.empty() && options.cameras.from.empty()) std::cerr << "camlift: no camera found\n";
  if (!options.openmetrics.empty()) {
    // Also with no camera: the time of the run tells the monitoring that the check still runs.
    std::string error;
    if (!ReplaceFileWhole(options.openmetrics, StatusMetricsText(rows, std::time(nullptr)),
                          error)) {
      std::cerr << "camlift: cannot write " << options.openmetrics << ": " << error << "\n";
      return kExitFailed;
    }
  }
  return kExitOk;
}

void SetupStatus(CLI::App& root, CommandRunner& run) {
  auto options = std::make_shared<TStatusCliOptions>();
  CLI::App* cmd = root.add_subcommand(
      "status",
      "Which cameras need an upgrade: read each camera's version and the catalogue's, upload "
      "nothing. Cameras come from a search, a list (--from) or --series/--ip.");
  const TCameraSourceFlags flags =
      AddCameraSourceOptions(cmd, options->cameras, "Read every camera of a list");
  flags.ip->needs(flags.series);
  flags.series->needs(flags.ip);
  flags.port->needs(flags.ip);
  cmd->add_option("--jobs", options->jobs, "Cameras read at the same time")
      ->capture_default_str()
      ->check(CLI::Range(1, 64));
  cmd->add_option("--passes", options->passes, "Search passes when no list is given")
      ->capture_default_str()
      ->check(CLI::Range(1, 1000));
  auto* json = cmd->add_flag("--json", options->json, "One JSON object per camera and line");
  cmd->add_flag("--csv", options->csv, "CSV, UTF-8 with a byte order mark")->excludes(json);
  cmd->add_option("--openmetrics", options->openmetrics,
                  "Also write the fleet state to this file in the Prometheus text format (for "
                  "a node exporter's textfile collector); replaced whole");
  cmd->add_flag("--ui", options->ui, "Compare the UI firmware instead of the system firmware");
  AddRepositoryOptions(cmd, options->repository, "Work folder for the catalogues");
  cmd->callback([options, &run] {
    ResolveCameraSource(options->cameras);
    run = [options] { return RunStatus(*options); };
  });
}

}  // namespace

CAMLIFT_REGISTER_COMMAND("status", SetupStatus);

}  // namespace camlift::cli
