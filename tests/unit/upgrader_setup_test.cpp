// SPDX-License-Identifier: Apache-2.0
#include "fleet/upgrader_setup.h"

#include <gtest/gtest.h>

#include "fleet/batch_upgrade.h"
#include "support/temp_folder.h"

namespace camlift {
namespace {

TCameraEntry Camera(TSeries series) {
  TCameraEntry camera;
  camera.ip = "127.0.0.9";
  camera.port = 8081;
  camera.series = series;
  camera.user = " Admin ";
  camera.password = " Secret1 ";
  return camera;
}

// Whoever asks (window, upgrade, batch, status), a camera's upgrader carries what the camera
// entry and the run's settings say, and nothing of another camera's.
TEST(UpgraderSetup, EverySeriesGetsTheCameraAndTheRunSettings) {
  test::TTempFolder temp;
  TUpgraderSettings settings;
  settings.system = false;
  settings.repository_url = "http://127.0.0.1:1/FM/";
  settings.work_folder = temp.path();
  for (TSeries series : {TSeries::K, TSeries::M, TSeries::P, TSeries::R}) {
    auto upgrader = SetUpUpgrader(Camera(series), settings, {"Firmware-x.ini", temp.path() + "d"});
    ASSERT_NE(nullptr, upgrader);
    EXPECT_EQ("admin", upgrader->UserName());  // trimmed and lower-cased, as typed in the window
    EXPECT_EQ("secret1", upgrader->Password());
    EXPECT_EQ("127.0.0.9", upgrader->IPAddress());
    EXPECT_EQ(8081, upgrader->Port());
    EXPECT_EQ("http://127.0.0.1:1/FM/", upgrader->RepositoryUrl());
    EXPECT_EQ(temp.path(), upgrader->WorkFolder());
    EXPECT_EQ(temp.path() + "d/", upgrader->DownloadFolder());
  }
  EXPECT_EQ("AppVer", SetUpUpgrader(Camera(TSeries::M), settings)->VersionKey());
  settings.system = true;
  EXPECT_EQ("SysVer", SetUpUpgrader(Camera(TSeries::M), settings)->VersionKey());
}

TEST(UpgraderSetup, NoSeriesNoUpgraderAndNoFolderNoEmptyFolder) {
  EXPECT_EQ(nullptr, SetUpUpgrader(Camera(TSeries::None), {}));
  // Without a work folder the upgrader keeps the program's own, never "" (the folder the
  // program happened to be started from).
  auto upgrader = SetUpUpgrader(Camera(TSeries::P), {});
  ASSERT_NE(nullptr, upgrader);
  EXPECT_FALSE(upgrader->WorkFolder().empty());
  EXPECT_EQ(upgrader->WorkFolder(), upgrader->DownloadFolder());
}

// A camera of no known series in a batch fails alone, with the reason, and asks nothing.
TEST(UpgraderSetup, ABatchCameraOfNoSeriesFailsWithItsReason) {
  test::TTempFolder temp;
  TBatchOptions options;
  options.work_folder = temp.path();
  for (bool dry_run : {false, true}) {
    options.dry_run = dry_run;
    TBatchUpgrade batch({Camera(TSeries::None)}, options);
    const std::vector<TBatchOutcome> outcomes = batch.Run();
    ASSERT_EQ(1u, outcomes.size());
    EXPECT_EQ(TUpgradeStatus::Failed, outcomes[0].result.status) << dry_run;
    EXPECT_EQ("unknown series", dry_run ? outcomes[0].plan : outcomes[0].reason);
    EXPECT_EQ("", outcomes[0].log_file);  // the summary names no log that was never written
  }
}

}  // namespace
}  // namespace camlift
