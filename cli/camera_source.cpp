// SPDX-License-Identifier: Apache-2.0
#include "camera_source.h"

#include <fstream>
#include <iostream>
#include <sstream>

#include "discovery/net_interfaces.h"
#include "discovery/series.h"
#include "platform/paths.h"
#include "repository/repository_url.h"
#include "search_run.h"
#include "util/text.h"

namespace camlift::cli {

TCameraSourceFlags AddCameraSourceOptions(CLI::App* cmd, TCameraSourceOptions& options,
                                          const std::string& from_help) {
  TCameraSourceFlags flags;
  flags.from = cmd->add_option("--from", options.from,
                               from_help +
                                   ": CSV (ip,port,series,user,password) or search "
                                   "--json lines");
  flags.series = cmd->add_option("--series", options.series, "Series of the camera at --ip")
                     ->check(CLI::IsMember(SeriesLetters(), CLI::ignore_case));
  flags.ip = cmd->add_option("--ip", options.ip, "IP address of the one camera");
  flags.from->excludes(flags.series)->excludes(flags.ip);
  flags.port = cmd->add_option("--port", options.port, "HTTP port of the camera at --ip")
                   ->capture_default_str()
                   ->check(CLI::Range(1, 65535));
  cmd->add_option("--user", options.user, "Camera account (where a list names none)")
      ->capture_default_str();
  AddPasswordOptions(cmd, options.password_option);
  return flags;
}

void ResolveCameraSource(TCameraSourceOptions& options) {
  options.password = ResolvePassword(options.password_option);
  if (options.ip.empty()) return;
  options.ip = TrimText(options.ip);
  if (options.ip.empty()) throw CLI::ValidationError("--ip", "the IP address cannot be empty");
}

bool CollectCameras(const TCameraSourceOptions& options, int search_passes,
                    std::vector<TCameraEntry>& cameras) {
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
  if (search_passes <= 0) {
    std::cerr << "camlift: name the cameras with --from or --series and --ip\n";
    return false;
  }
  // Addresses from a search are what its replies claim: the account goes only to those the
  // account rule lets it go to, the others are read without it.
  cameras = CamerasOfSearch(Search(search_passes, "").rows, options.user, options.password,
                            ListIPv4Interfaces());
  return true;
}

void AddRepositoryOptions(CLI::App* cmd, TRepositoryOptions& options,
                          const std::string& data_dir_help) {
  cmd->add_option("--repository", options.repository,
                  "Firmware repository base URL (path ending in /FM/)");
  cmd->add_option("--ca-file", options.ca_file,
                  "CA certificates (PEM) to verify an https repository with")
      ->check(CLI::ExistingFile);
  cmd->add_option("--data-dir", options.data_dir, data_dir_help);
}

TUpgraderSettings RunSettingsOf(const TRepositoryOptions& options, bool ui) {
  if (!options.data_dir.empty()) SetWorkFolder(options.data_dir);
  TUpgraderSettings settings;
  settings.system = !ui;
  settings.repository_url = ResolveRepositoryUrl(options.repository);
  settings.trust = ResolveRepositoryTrust(options.ca_file);
  settings.work_folder = CacheFolder();
  return settings;
}

void SayUnusableKeys(const TRepositoryTrust& trust) {
  for (const std::string& line : BadRepositoryKeyLines(trust)) {
    std::cerr << "camlift: " << line << "\n";
  }
}

}  // namespace camlift::cli
