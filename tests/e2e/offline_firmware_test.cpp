// SPDX-License-Identifier: Apache-2.0
// Upgrades without the repository: a firmware file or archive brought along (--firmware), and
// `camlift fetch`, which fills the cache in the office for an upgrade on site.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_site.h"
#include "util/md5.h"

namespace camlift::test {
namespace {

using sim::TCameraConfig;
using sim::TFirmwareKind;
using sim::TSimSeries;

const char* Section(TSimSeries s) {
  switch (s) {
    case TSimSeries::M:
      return "1.0.0";
    case TSimSeries::K:
      return "1.0.X.1";
    default:
      return "SIM100";
  }
}

TEST(OfflineFirmware, ArchiveFromDiskForEverySeries) {
  for (TSimSeries series : {TSimSeries::M, TSimSeries::P, TSimSeries::R, TSimSeries::K}) {
    TE2eSite site;
    TCameraConfig config;
    config.series = series;
    auto& camera = site.AddCamera(config);
    const auto added =
        site.AddFirmware(series, TFirmwareKind::System, "system", Section(series), "1.0.2.1");
    // A wrong checksum refuses the archive before anything is unpacked or sent.
    TProcessResult run = site.Upgrade(
        camera, {"--firmware", added.archive_path, "--md5", "00000000000000000000000000000000"});
    EXPECT_EQ(1, run.exit_code) << run.out;
    EXPECT_EQ("Failed to get ROM for upgrading.", FailureLineOf(LogTexts(run.out)));

    run = site.Upgrade(camera, {"--firmware", added.archive_path, "--md5", added.md5});
    EXPECT_EQ(0, run.exit_code) << sim::SeriesText(series) << "\n" << run.out << run.err;
    const auto log = LogTexts(run.out);
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ("Upgrading with the firmware file:" + added.archive_path, log[2]);
    EXPECT_EQ("The camera now runs the version:1.0.2.1", log.back());
    EXPECT_EQ("1.0.2.1", camera.state().sys_version);
  }
}

// Log lines are UTF-8 from the worker on: a file path with Chinese letters in a Chinese run
// reads as it is, next to the language's own text.
TEST(OfflineFirmware, AChinesePathInAChineseRunReadsAsItIs) {
  TE2eSite site;
  TCameraConfig config;
  config.series = TSimSeries::P;
  auto& camera = site.AddCamera(config);
  const auto added =
      site.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "SIM100", "1.0.2.1");
  // The archive keeps its name (it names the file inside); its folder is 固件.
  const std::string folder = site.Root() + "\xE5\x9B\xBA\xE4\xBB\xB6/";
  std::filesystem::create_directories(folder);
  const std::string path = folder + std::filesystem::path(added.archive_path).filename().string();
  std::filesystem::copy_file(added.archive_path, path);
  const TProcessResult run =
      site.Upgrade(camera, {"--firmware", path, "--md5", added.md5, "--lang", "cn"});
  EXPECT_EQ(0, run.exit_code) << run.out << run.err;
  const auto log = LogTexts(run.out);
  ASSERT_GE(log.size(), 3u) << run.out;
  EXPECT_EQ(
      "\xE4\xBD\xBF\xE7\x94\xA8\xE6\x9C\xAC\xE5\x9C\xB0\xE5\x9B\xBA\xE4\xBB\xB6\xE6\x96\x87"
      "\xE4\xBB\xB6\xE5\x8D\x87\xE7\xBA\xA7\xEF\xBC\x9A" +  // 使用本地固件文件升级：
          path,
      log[2]);
}

TEST(OfflineFirmware, SeriesMStillChecksTheSignature) {
  TE2eSite site;
  TCameraConfig config;
  config.series = TSimSeries::M;
  auto& camera = site.AddCamera(config);
  // A series P firmware file has no "BNEG" at its start.
  const auto added =
      site.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "x", "1.0.2.1");
  const TProcessResult run = site.Upgrade(camera, {"--firmware", added.archive_path});
  EXPECT_EQ(1, run.exit_code);
  // Refused by the check before the upload, with the bytes it has and the ones it lacks.
  const auto log = LogTexts(run.out);
  ASSERT_GE(log.size(), 3u) << run.out;
  EXPECT_EQ("Failed to get ROM for upgrading.", log[log.size() - 3]);
  EXPECT_EQ(
      "The file is not a firmware of this camera series and kind: it begins with 43 41 4D 4C "
      "instead of 42 4E 45 47.",
      log[log.size() - 2]);
  EXPECT_EQ("Nothing was sent to the camera.", log.back());
  EXPECT_TRUE(site.Uploads().empty());
}

TEST(OfflineFirmware, FetchInTheOfficeUpgradeOnSite) {
  TE2eSite office;
  const auto added =
      office.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "SIM100", "1.0.0.9");
  office.StartRepository();
  const TProcessResult fetched =
      office.Run({"fetch", "--series", "P", "--model", "SIM100", "--repository",
                  office.RepositoryUrl(), "--data-dir", office.DataDir()});
  ASSERT_EQ(0, fetched.exit_code) << fetched.out << fetched.err;
  const std::string bin = office.DataDir() + "Bin/" + added.md5 + "/fw_P_sys_1.0.0.9.bin";
  EXPECT_EQ("version 1.0.0.9 verified: " + bin + "\n", fetched.out);

  // On site: no repository at all, the cached firmware file goes in.
  TCameraConfig config;
  config.series = TSimSeries::P;
  auto& camera = office.AddCamera(config);
  const TProcessResult run = office.Run({"upgrade", "--series", "P", "--ip", camera.config().ip,
                                         "--port", std::to_string(camera.http_port()), "--firmware",
                                         bin, "--data-dir", office.DataDir()});
  EXPECT_EQ(0, run.exit_code) << run.out;
  EXPECT_EQ("1.0.0.9", camera.state().sys_version);

  EXPECT_EQ(1, office
                   .Run({"fetch", "--series", "P", "--model", "OTHER", "--repository",
                         office.RepositoryUrl(), "--data-dir", office.DataDir()})
                   .exit_code);
  EXPECT_EQ(2, office.Run({"fetch", "--series", "P"}).exit_code);
}

}  // namespace
}  // namespace camlift::test
