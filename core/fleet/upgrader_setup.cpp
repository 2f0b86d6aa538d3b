// SPDX-License-Identifier: Apache-2.0
#include "fleet/upgrader_setup.h"

#include "upgrade/upgrade_factory.h"

namespace camlift {

std::unique_ptr<TUpgradeObject> SetUpUpgrader(const TCameraEntry& camera,
                                              const TUpgraderSettings& settings,
                                              const TUpgraderOwnFiles& own_files) {
  auto upgrader = TUpgradeFactory::CreateUpgrader(camera.series, settings.system);
  if (!upgrader) return nullptr;
  upgrader->SetUserName(camera.user);
  upgrader->SetPassword(camera.password);
  upgrader->SetIPAddress(camera.ip);
  upgrader->SetPort(camera.port);
  upgrader->SetRepositoryUrl(settings.repository_url);
  upgrader->SetRepositoryTrust(settings.trust);
  // An empty folder would put the run's files in whatever folder the program was started from.
  if (!settings.work_folder.empty()) upgrader->SetWorkFolder(settings.work_folder);
  if (!own_files.catalogue_file_name.empty()) {
    upgrader->SetCatalogueFileName(own_files.catalogue_file_name);
  }
  if (!own_files.download_folder.empty()) upgrader->SetDownloadFolder(own_files.download_folder);
  return upgrader;
}

}  // namespace camlift
