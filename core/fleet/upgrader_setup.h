// SPDX-License-Identifier: Apache-2.0
// The one way to set up an upgrader for a camera: the window, every subcommand, batches and
// status reads all start from here, so that a camera gets the same account, address, repository
// and folders whoever asks.
#pragma once

#include <memory>
#include <string>

#include "fleet/camera_list.h"
#include "repository/repository_trust.h"
#include "upgrade/upgrade_object.h"

namespace camlift {

// What every camera of a run shares.
struct TUpgraderSettings {
  bool system = true;  // system firmware, or the UI firmware
  std::string repository_url;
  // Signature keys and CA of the repository: a catalogue the upgrade would refuse is refused
  // by every read that uses it too.
  TRepositoryTrust trust;
  std::string work_folder;  // ends in "/"; empty: the program's work folder
};

// Files a camera keeps to itself while other runs or cameras share the work folder; empty: the
// work folder's "Firmware.ini" and the work folder itself.
struct TUpgraderOwnFiles {
  std::string catalogue_file_name;
  std::string download_folder;
};

// The upgrader for camera, ready for the worker: account, address, port, repository, trust and
// folders set. Empty when the camera's series has none (TSeries::None).
std::unique_ptr<TUpgradeObject> SetUpUpgrader(const TCameraEntry& camera,
                                              const TUpgraderSettings& settings,
                                              const TUpgraderOwnFiles& own_files = {});

}  // namespace camlift
