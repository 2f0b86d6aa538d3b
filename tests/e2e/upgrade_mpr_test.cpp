// SPDX-License-Identifier: Apache-2.0
// camlift upgrade against simulated cameras of series M, P and R and a simulated repository.
#include <gtest/gtest.h>

#include "e2e_site.h"
#include "util/md5.h"

namespace camlift::test {
namespace {

using sim::TCameraConfig;
using sim::TCameraFault;
using sim::TFirmwareKind;
using sim::TRepoFault;
using sim::TSimSeries;

const std::vector<std::string> kSuccessLog = {
    "Device connected normally",
    "The version of present device rom is :1.0.0.1",
    "The version of latest  device rom is :1.0.0.2",
    "Downloading rom for upgrading...",
    // The tests' system bus does not exist: no lock against sleep, said once before the upload.
    "The computer could not be kept from going to sleep during the upgrade; keep it awake until "
    "the upgrade has ended:no system bus: No such file or directory",
    "Begin to upgrade device''s rom, please hold the connection of the device normally.",
    "Successfully upgrade ROM, it is going to reboot the device, please wait.....",
    "IP Cam is Working!",
    "The camera now runs the version:1.0.0.2",
};

struct SeriesCase {
  TSimSeries series;
  TFirmwareKind kind;
  std::string target_prefix;  // the upload request line's target
  std::string part_type;
  bool basic_auth;
};

void PrintTo(const SeriesCase& c, std::ostream* os) {
  *os << sim::SeriesText(c.series) << "/" << sim::KindText(c.kind);
}

std::string Name(TSimSeries s, TFirmwareKind k) {
  return sim::SeriesText(s) + "_" + sim::KindText(k);
}

class UpgradeSeries : public ::testing::TestWithParam<SeriesCase> {
 protected:
  // The catalogue section the engine builds for a camera of the case's series and kind.
  static std::string Section(const SeriesCase& c) {
    // Series M reads no model: its key is the version up to its last dot.
    return c.series == TSimSeries::M ? "1.0.0" : "SIM100";
  }
  static std::string Folder(const SeriesCase& c) {
    return c.kind == TFirmwareKind::System ? "system" : "camlift";
  }
  sim::TSimCamera& Camera(const SeriesCase& c, std::set<TCameraFault> faults = {}) {
    TCameraConfig config;
    config.series = c.series;
    config.password = "531642";
    config.faults = std::move(faults);
    return site_.AddCamera(config);
  }
  sim::TRepoAddResult Firmware(const SeriesCase& c, const std::string& version = "1.0.0.2",
                               const std::string& excluded = "") {
    return site_.AddFirmware(c.series, c.kind, Folder(c), Section(c), version, excluded);
  }
  std::vector<std::string> Args(const SeriesCase& c, std::vector<std::string> more = {}) {
    if (c.kind == TFirmwareKind::Ui) more.push_back("--ui");
    return more;
  }
  TE2eSite site_;
};

TEST_P(UpgradeSeries, UpgradesAndDeliversTheExactRequest) {
  const SeriesCase c = GetParam();
  auto& camera = Camera(c);
  const sim::TRepoAddResult added = Firmware(c);
  site_.StartRepository();
  const TProcessResult run = site_.Upgrade(camera, Args(c));
  EXPECT_EQ(0, run.exit_code) << run.out << run.err;
  EXPECT_EQ(kSuccessLog, LogTexts(run.out));
  const auto state = camera.state();
  EXPECT_EQ("1.0.0.2", c.kind == TFirmwareKind::System ? state.sys_version : state.ui_version);

  const auto uploads = site_.Uploads();
  ASSERT_EQ(1u, uploads.size());
  const auto& up = uploads[0];
  EXPECT_EQ("POST", up["method"]);
  EXPECT_EQ(c.target_prefix, up["target"].get<std::string>().substr(0, c.target_prefix.size()));
  const auto& part = up["upload"];
  EXPECT_TRUE(part["framing_ok"].get<bool>()) << part.dump();
  EXPECT_TRUE(part["accepted"].get<bool>());
  // The verified cache keeps each archive's firmware in a folder named after the archive's MD5.
  const std::string bin = site_.DataDir() + "Bin/" + added.md5 + "/fw_" +
                          sim::SeriesText(c.series) + "_" + sim::KindText(c.kind) + "_1.0.0.2.bin";
  EXPECT_EQ(
      "Content-Transfer-Encoding: binary\r\n"
      "Content-Disposition: form-data; name=\"file\"; filename=\"" +
          bin +
          "\"\r\n"
          "Content-Type: " +
          c.part_type + "\r\n",
      part["part_headers"].get<std::string>());
  EXPECT_EQ(FileMd5Hex(bin).value_or("missing"), part["md5"]);
  bool has_auth = false;
  for (const auto& h : up["headers"]) has_auth |= h[0].get<std::string>() == "Authorization";
  EXPECT_EQ(c.basic_auth, has_auth);
}

TEST_P(UpgradeSeries, SameVersionAsksAndNoMeansNoUpgrade) {
  const SeriesCase c = GetParam();
  auto& camera = Camera(c);
  Firmware(c, "1.0.0.1");
  site_.StartRepository();
  TProcessResult run = site_.Upgrade(camera, Args(c));  // no terminal: the answer is No
  EXPECT_EQ(3, run.exit_code) << run.out << run.err;
  EXPECT_EQ("It is the latest one, there is no need to upgrade !", LogTexts(run.out).back());
  EXPECT_TRUE(site_.Uploads().empty());

  run = site_.Upgrade(camera, Args(c, {"--yes"}));
  EXPECT_EQ(0, run.exit_code) << run.out << run.err;
  EXPECT_EQ("The camera now runs the version:1.0.0.1", LogTexts(run.out).back());
  EXPECT_EQ(1u, site_.Uploads().size());
}

TEST_P(UpgradeSeries, UnreachableAndRefusedAccount) {
  const SeriesCase c = GetParam();
  Firmware(c);
  site_.StartRepository();
  for (TCameraFault fault : {TCameraFault::NotListening, TCameraFault::RejectAccount}) {
    auto& camera = Camera(c, {fault});
    const TProcessResult run = site_.Upgrade(camera, Args(c));
    EXPECT_EQ(1, run.exit_code);
    const std::vector<std::string> log = LogTexts(run.out);
    std::vector<std::string> expected = {
        "IP Cam cannot be accessed, please check the device to make sure it work correctly."};
    // A camera that answered with a refusal is not a cable problem.
    if (fault == TCameraFault::RejectAccount) {
      expected.push_back("The camera refused the account or password.");
    }
    EXPECT_EQ(expected, log);
  }
  EXPECT_TRUE(site_.Uploads().empty());
}

TEST_P(UpgradeSeries, RepositoryFaultsNeverReachTheCamera) {
  const SeriesCase c = GetParam();
  struct Fault {
    TRepoFault fault;
    std::string last;
  };
  const Fault faults[] = {
      {TRepoFault::Catalog404, "Failed to read version information of the latest rom."},
      {TRepoFault::WrongMd5, "Failed to get ROM for upgrading."},
      {TRepoFault::NotZip, "Failed to get ROM for upgrading."},
      {TRepoFault::Truncated, "Failed to get ROM for upgrading."},
      {TRepoFault::EvilEntry, "Failed to get ROM for upgrading."},
      {TRepoFault::Archive500, "Failed to get ROM for upgrading."},
  };
  Firmware(c);
  auto& camera = Camera(c);
  for (const Fault& f : faults) {
    TE2eSite site;  // a fresh work folder and repository for each fault
    site.AddFirmware(c.series, c.kind, Folder(c), Section(c), "1.0.0.2");
    site.StartRepository({f.fault});
    std::vector<std::string> args = Args(c, {"--repository", site.RepositoryUrl()});
    const TProcessResult run = site_.Upgrade(camera, args);
    EXPECT_EQ(1, run.exit_code) << static_cast<int>(f.fault);
    const auto log = LogTexts(run.out);
    EXPECT_EQ(f.last, FailureLineOf(log)) << static_cast<int>(f.fault) << run.out;
    // And why, on the line after it.
    EXPECT_NE(f.last, log.back()) << static_cast<int>(f.fault) << run.out;
    EXPECT_FALSE(std::filesystem::exists(site_.Root() + "evil.bin"));
    EXPECT_FALSE(std::filesystem::exists(site_.DataDir() + "evil.bin"));
  }
  EXPECT_TRUE(site_.Uploads().empty());
}

TEST_P(UpgradeSeries, NoSectionAndExcludedVersion) {
  const SeriesCase c = GetParam();
  auto& camera = Camera(c);
  site_.AddFirmware(c.series, c.kind, Folder(c), "OTHER-MODEL", "1.0.0.2");
  site_.StartRepository();
  TProcessResult run = site_.Upgrade(camera, Args(c));
  EXPECT_EQ(1, run.exit_code);
  const auto log = LogTexts(run.out);
  ASSERT_EQ(3u, log.size()) << run.out;
  EXPECT_EQ("Failed to read version information of the latest rom.", log.back());

  Firmware(c, "1.0.0.2", "0.9,1.0.0.1");
  run = site_.Upgrade(camera, Args(c));
  EXPECT_EQ(1, run.exit_code);
  EXPECT_EQ("The version for upgrading is no available.", LogTexts(run.out).back());
  EXPECT_TRUE(site_.Uploads().empty());
}

TEST_P(UpgradeSeries, RedirectedUploadFails) {
  const SeriesCase c = GetParam();
  auto& camera = Camera(c, {TCameraFault::RedirectUpload});
  Firmware(c);
  site_.StartRepository();
  const TProcessResult run = site_.Upgrade(camera, Args(c));
  EXPECT_EQ(1, run.exit_code);
  const std::string expected =
      c.series == TSimSeries::R ? "Upgrade failed:" : "Upgrade failed:HTTP/1.1 302 Found";
  EXPECT_EQ(expected, LogTexts(run.out).back());
}

TEST_P(UpgradeSeries, CameraThatNeverReturnsIsReported) {
  const SeriesCase c = GetParam();
  auto& camera = Camera(c, {TCameraFault::NeverReturns});
  Firmware(c);
  site_.StartRepository();
  const TProcessResult run = site_.Upgrade(camera, Args(c));
  EXPECT_EQ(1, run.exit_code);
  const auto log = LogTexts(run.out);
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ("Successfully upgrade ROM, it is going to reboot the device, please wait.....",
            log[log.size() - 2]);
  EXPECT_NE(std::string::npos, log.back().find("did not answer")) << log.back();
}

TEST_P(UpgradeSeries, CameraThatKeepsItsOldVersionIsNoSuccess) {
  const SeriesCase c = GetParam();
  auto& camera = Camera(c, {TCameraFault::OldVersion});
  Firmware(c);
  site_.StartRepository();
  const TProcessResult run = site_.Upgrade(camera, Args(c));
  EXPECT_EQ(4, run.exit_code) << run.out;
  const auto log = LogTexts(run.out);
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ("IP Cam is Working!", log[log.size() - 2]);
  EXPECT_EQ("The camera still reports the version:1.0.0.1", log.back());
}

INSTANTIATE_TEST_SUITE_P(
    Cameras, UpgradeSeries,
    ::testing::Values(SeriesCase{TSimSeries::M, TFirmwareKind::System,
                                 "/upgrade_firmware.cgi?user=admin&pwd=531642&next_url=reboot.htm",
                                 "application/octet-stream", false},
                      SeriesCase{TSimSeries::M, TFirmwareKind::Ui,
                                 "/upgrade_htmls.cgi?user=admin&pwd=531642&next_url=reboot.htm",
                                 "application/octet-stream", false},
                      SeriesCase{TSimSeries::P, TFirmwareKind::System,
                                 "/cgi-bin/upgrade_firmware.cgi", "application/x-zip-compressed",
                                 true},
                      SeriesCase{TSimSeries::P, TFirmwareKind::Ui,
                                 "/cgi-bin/upgrade_htmls.cgi?next_url=reboot.htm",
                                 "application/x-zip-compressed", true},
                      SeriesCase{TSimSeries::R, TFirmwareKind::System,
                                 "/upgrade_firmware.cgi?loginuse=admin&loginpas=531642",
                                 "application/x-zip-compressed", false},
                      SeriesCase{TSimSeries::R, TFirmwareKind::Ui,
                                 "/upgrade_htmls.cgi?loginuse=admin&loginpas=531642",
                                 "application/x-zip-compressed", false}),
    [](const auto& info) { return Name(info.param.series, info.param.kind); });

TEST(UpgradeSeriesM, FirmwareWithoutTheSignatureIsNeverSent) {
  TE2eSite site;
  TCameraConfig config;
  config.series = TSimSeries::M;
  auto& camera = site.AddCamera(config);
  // A series P firmware in the M catalogue: no "BNEG" at its start.
  site.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "1.0.0", "1.0.0.2");
  site.StartRepository();
  const TProcessResult run = site.Upgrade(camera);
  EXPECT_EQ(1, run.exit_code);
  EXPECT_EQ("Error on reading ROM for upgrade.", LogTexts(run.out).back());
  EXPECT_TRUE(site.Uploads().empty());
}

TEST(UpgradeCommand, UsageErrorsAndMissingRepository) {
  TE2eSite site;
  EXPECT_EQ(2, site.Run({"upgrade", "--series", "X", "--ip", "127.0.0.1"}).exit_code);
  EXPECT_EQ(2, site.Run({"upgrade", "--series", "P"}).exit_code);
  EXPECT_EQ(2, site.Run({"upgrade", "--series", "P", "--ip", " "}).exit_code);
  EXPECT_EQ(2, site.Run({"upgrade", "--series", "P", "--ip", "1.2.3.4", "--lang", "fr"}).exit_code);
  EXPECT_EQ(2, site.Run({"status", "--series", "P", "--ip", "  "}).exit_code);
  TCameraConfig config;
  auto& camera = site.AddCamera(config);
  const TProcessResult run = site.Upgrade(camera);
  EXPECT_EQ(1, run.exit_code);
  EXPECT_NE(std::string::npos, LogTexts(run.out).back().find("repository")) << run.out;
  // An address pasted with blanks around it is still the camera's, for status as for upgrade.
  const TProcessResult status =
      site.Run({"status", "--series", "P", "--ip", " " + camera.config().ip + " ", "--port",
                std::to_string(camera.http_port()), "--user", camera.config().user, "--password",
                camera.config().password, "--json"});
  EXPECT_EQ(0, status.exit_code) << status.err;
  EXPECT_EQ(std::string::npos, status.out.find("unreachable")) << status.out;
  EXPECT_NE(std::string::npos, status.out.find("\"ip\":\"" + camera.config().ip + "\""))
      << status.out;
}

}  // namespace
}  // namespace camlift::test
