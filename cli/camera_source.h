// SPDX-License-Identifier: Apache-2.0
// The cameras a command works on and the repository it asks, for every subcommand that reads or
// upgrades cameras (upgrade, status and any later one; fetch takes the repository options): the
// options are declared here once, so they read and behave the same everywhere. (camlift r730
// names its camera by --ip or --mac and declares its own.)
//
//   --from FILE                  every camera of a list (CSV or search --json lines)
//   --series S --ip A [--port P] one camera
//   (neither)                    the cameras of a search, where the command allows it
//   --user, --password, --password-file   the account (where a list names none)
//   --repository, --ca-file, --data-dir   the firmware repository, its CA, the work folder
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "fleet/camera_list.h"
#include "fleet/upgrader_setup.h"
#include "password_option.h"

namespace camlift::cli {

struct TCameraSourceOptions {
  std::string from;
  std::string series;
  std::string ip;
  int port = 81;
  std::string user = "admin";
  std::string password;  // resolved from password_option by ResolveCameraSource
  TPasswordOption password_option;
};

// The options as declared, for the rules a command adds between them (needs, excludes).
struct TCameraSourceFlags {
  CLI::Option* from = nullptr;
  CLI::Option* series = nullptr;
  CLI::Option* ip = nullptr;
  CLI::Option* port = nullptr;
};

// Declares --from, --series, --ip, --port, --user and the password options on cmd; --from
// excludes --series and --ip. from_help says what the command does with a list.
TCameraSourceFlags AddCameraSourceOptions(CLI::App* cmd, TCameraSourceOptions& options,
                                          const std::string& from_help);

// Once the command line is read: the password from where the options say, and the address
// trimmed as the window trims it (an address pasted with blanks is still the address). Throws
// CLI::ValidationError for a password that cannot be read or an --ip that is only blanks.
void ResolveCameraSource(TCameraSourceOptions& options);

// The cameras the options name, or false after telling on stderr why there are none (a usage
// error). With neither --from nor --ip: the cameras of search_passes search passes, each with
// the account only where the account rule lets it go; no search when search_passes is 0.
bool CollectCameras(const TCameraSourceOptions& options, int search_passes,
                    std::vector<TCameraEntry>& cameras);

struct TRepositoryOptions {
  std::string repository;
  std::string ca_file;
  std::string data_dir;
};

// Declares --repository, --ca-file (an existing file) and --data-dir on cmd.
void AddRepositoryOptions(CLI::App* cmd, TRepositoryOptions& options,
                          const std::string& data_dir_help);

// The settings every camera of the run shares: repository (--repository, else the environment
// or the options file), its trust (--ca-file and the configured keys) and the work folder
// (--data-dir, which becomes the program's work folder, else the program's).
TUpgraderSettings RunSettingsOf(const TRepositoryOptions& options, bool ui);

// A line on stderr for each configured repository key that cannot be used (a command without
// a worker, whose log would say it).
void SayUnusableKeys(const TRepositoryTrust& trust);

}  // namespace camlift::cli
