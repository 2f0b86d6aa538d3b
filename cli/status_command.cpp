// SPDX-License-Identifier: Apache-2.0
// camlift status: which cameras need an upgrade. For every camera of a search, a list or one
// address, the reads of an upgrade up to the catalogue lookup; one table at the end.
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>

#include "cli_session.h"
#include "command_registry.h"
#include "discovery/dev_types.h"
#include "discovery/net_interfaces.h"
#include "discovery/series.h"
#include "password_option.h"
#include "platform/paths.h"
#include "search_run.h"
#include "upgrade/camera_list.h"
#include "upgrade/repository_trust.h"
#include "upgrade/repository_url.h"
#include "upgrade/status_read.h"

namespace camlift::cli {
namespace {

struct TStatusCliOptions {
  std::string from;
  std::string series;
  std::string ip;
  int port = 81;
  std::string user = "admin";
  std::string password;  // resolved from password_option when the command line is read
  TPasswordOption password_option;
  bool ui = false;
  bool json = false;
  bool csv = false;
  int jobs = 8;
  int passes = 3;
  std::string repository;
  std::string ca_file;
  std::string data_dir;
};

// The cameras to read, or false after telling why there are none.
bool CollectCameras(const TStatusCliOptions& options, std::vector<TCameraEntry>& cameras) {
  if (!options.from.empty()) {
    std::ifstream in(options.from, std::ios::binary);
    if (!in) {
      std::cerr << "camlift: cannot read " << options.from << "\n";
      return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    TCameraListResult list = ParseCameraList(text.str(), options.user, options.password);
    for (const std::string& error : list.errors) std::cerr << options.from << ": " << error << "\n";
    if (!list.errors.empty()) return false;
    cameras = std::move(list.cameras);
    return true;
  }
  if (!options.ip.empty()) {
    TCameraEntry camera;
    camera.ip = options.ip;
    camera.port = options.port;
    camera.series = SeriesFromLetter(options.series);
    camera.user = options.user;
    camera.password = options.password;
    cameras.push_back(camera);
    return true;
  }
  // Addresses from a search are what its replies claim: the account goes only to those the
  // account rule lets it go to, the others are read without it.
  cameras = CamerasOfSearch(Search(options.passes, "").rows, options.user, options.password,
                            ListIPv4Interfaces());
  return true;
}

int RunStatus(const TStatusCliOptions& options) {
  const TCliSession session("en");  // the texts of a refused catalogue and of the account rule
  std::vector<TCameraEntry> cameras;
  if (!CollectCameras(options, cameras)) return kExitUsage;
  if (!options.data_dir.empty()) SetWorkFolder(options.data_dir);

  TStatusOptions status;
  status.system = !options.ui;
  status.repository_url = ResolveRepositoryUrl(options.repository);
  status.trust = ResolveRepositoryTrust(options.ca_file);
  status.work_folder = WorkFolder();
  for (const std::string& line : BadRepositoryKeyLines(status.trust)) {
    std::cerr << "camlift: " << line << "\n";
  }
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
  if (cameras.empty() && options.from.empty()) std::cerr << "camlift: no camera found\n";
  return kExitOk;
}

void SetupStatus(CLI::App& root, CommandRunner& run) {
  auto options = std::make_shared<TStatusCliOptions>();
  CLI::App* cmd = root.add_subcommand(
      "status",
      "Which cameras need an upgrade: read each camera's version and the catalogue's, upload "
      "nothing. Cameras come from a search, a list (--from) or --series/--ip.");
  auto* from = cmd->add_option(
      "--from", options->from,
      "Read every camera of a list: CSV (ip,port,series,user,password) or search --json lines");
  auto* series = cmd->add_option("--series", options->series, "Series of the camera at --ip")
                     ->check(CLI::IsMember(SeriesLetters(), CLI::ignore_case));
  auto* ip = cmd->add_option("--ip", options->ip, "Read this camera only");
  ip->needs(series);
  series->needs(ip);
  from->excludes(series)->excludes(ip);
  cmd->add_option("--port", options->port, "HTTP port of the camera at --ip")
      ->capture_default_str()
      ->check(CLI::Range(1, 65535))
      ->needs(ip);
  cmd->add_option("--user", options->user, "Camera account (where the list names none)")
      ->capture_default_str();
  AddPasswordOptions(cmd, options->password_option);
  cmd->add_option("--jobs", options->jobs, "Cameras read at the same time")
      ->capture_default_str()
      ->check(CLI::Range(1, 64));
  cmd->add_option("--passes", options->passes, "Search passes when no list is given")
      ->capture_default_str()
      ->check(CLI::Range(1, 1000));
  auto* json = cmd->add_flag("--json", options->json, "One JSON object per camera and line");
  cmd->add_flag("--csv", options->csv, "CSV, UTF-8 with a byte order mark")->excludes(json);
  cmd->add_flag("--ui", options->ui, "Compare the UI firmware instead of the system firmware");
  cmd->add_option("--repository", options->repository,
                  "Firmware repository base URL (path ending in /FM/)");
  cmd->add_option("--ca-file", options->ca_file,
                  "CA certificates (PEM) to verify an https repository with")
      ->check(CLI::ExistingFile);
  cmd->add_option("--data-dir", options->data_dir, "Work folder for the catalogues");
  cmd->callback([options, &run] {
    options->password = ResolvePassword(options->password_option);
    run = [options] { return RunStatus(*options); };
  });
}

}  // namespace

CAMLIFT_REGISTER_COMMAND("status", SetupStatus);

}  // namespace camlift::cli
