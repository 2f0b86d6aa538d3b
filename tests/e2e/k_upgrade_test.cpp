// SPDX-License-Identifier: Apache-2.0
// camlift upgrade --series K against simulated K cameras: the version from the CTP search, the
// package over the CTP session on the camera's web port, and every failure of the transfer.
#include <gtest/gtest.h>

#include "ctp_camera.h"
#include "ctp_extension.h"
#include "e2e_site.h"

namespace camlift::test {
namespace {

using sim::TCameraConfig;
using sim::TCameraFault;
using sim::TFirmwareKind;
using sim::TSimSeries;

class KUpgrade : public ::testing::Test {
 protected:
  ~KUpgrade() override {
    for (auto& camera : cameras_) camera->Stop();
  }

  sim::TSimCamera& Camera(std::set<TCameraFault> faults = {}) {
    TCameraConfig config;
    config.series = TSimSeries::K;
    config.ip = site_.NextAddress();
    TE2eSite::GiveOwnIdentity(config);
    config.port = 0;
    config.password = "531642";
    config.sys_version = "1.0.0.1";
    config.ui_version = "1.0.0.1";
    config.faults = std::move(faults);
    cameras_.push_back(std::make_unique<sim::TSimCamera>(
        config, recorder_, std::vector<sim::TCameraExtensionFactory>{sim::MakeCtpCameraExtension}));
    cameras_.back()->Start();
    return *cameras_.back();
  }

  // The CTP requests a camera received, by their request lines, in the order it read them.
  std::vector<std::string> CtpRequests() const {
    return sim::CtpRequestLines(recorder_->Entries());
  }

  TE2eSite site_;
  std::shared_ptr<sim::TSimRecorder> recorder_ = std::make_shared<sim::TSimRecorder>();
  std::vector<std::unique_ptr<sim::TSimCamera>> cameras_;
};

const std::vector<std::string> kSuccessLog = {
    "Device connected normally",
    "The version of present device rom is :1.0.0.1",
    "The version of latest  device rom is :1.0.2.1",
    "Downloading rom for upgrading...",
    // The tests' system bus does not exist: no lock against sleep, said once before the upload.
    "The computer could not be kept from going to sleep during the upgrade; keep it awake until "
    "the upgrade has ended:no system bus: No such file or directory",
    "Begin to upgrade device''s rom, please hold the connection of the device normally.",
    "Successfully upgrade ROM, it is going to reboot the device, please wait.....",
    "IP Cam is Working!",
    "The camera now runs the version:1.0.2.1",
};

TEST_F(KUpgrade, SystemFirmwareGoesOverCtp) {
  auto& camera = Camera();
  // K system versions a.b.c.d are catalogued under a.b.X.d; only c tells them apart.
  const auto added =
      site_.AddFirmware(TSimSeries::K, TFirmwareKind::System, "system", "1.0.X.1", "1.0.2.1");
  site_.StartRepository();
  const TProcessResult run = site_.Upgrade(camera);
  EXPECT_EQ(0, run.exit_code) << run.out << run.err;
  EXPECT_EQ(kSuccessLog, LogTexts(run.out));
  EXPECT_EQ("1.0.2.1", camera.state().sys_version);
  const std::vector<std::string> expected = {
      "CMD cfgusr CTP/1.0", "CMD exit CTP/1.0", "CMD 10", "FILE 12", "DATA 1400",
      "DATA 1400",          "DATA 1296",        "MD5 16", "CMD 15"};
  EXPECT_EQ(expected, CtpRequests());
  for (const auto& entry : recorder_->Entries()) {
    if (entry.value("request", "") == "CMD cfgusr CTP/1.0") {
      EXPECT_EQ("-login admin:531642\\r\\n\\r\\n", entry["body"]);
      EXPECT_EQ("CTP/1.0 200 OK", entry["reply"]);
    }
  }
  // The package was unpacked under the archive's name with ".pk2".
  EXPECT_TRUE(
      std::filesystem::exists(site_.DataDir() + "Bin/" + added.md5 + "/fw_K_sys_1.0.2.1.pk2"));
}

TEST_F(KUpgrade, UiFirmwareGoesOverCtpToo) {
  auto& camera = Camera();
  site_.AddFirmware(TSimSeries::K, TFirmwareKind::Ui, "camlift", "SIM100", "1.0.0.2");
  site_.StartRepository();
  const TProcessResult run = site_.Upgrade(camera, {"--ui"});
  EXPECT_EQ(0, run.exit_code) << run.out << run.err;
  EXPECT_EQ("The camera now runs the version:1.0.0.2", LogTexts(run.out).back());
  EXPECT_EQ("1.0.0.2", camera.state().ui_version);
  EXPECT_EQ("1.0.0.1", camera.state().sys_version);
}

TEST_F(KUpgrade, FailuresOfTheTransfer) {
  struct Case {
    TCameraFault fault;
    std::string last;
    int exit_code;
  };
  const Case cases[] = {
      {TCameraFault::CtpLoginRefused, "IP camera login failed, please check the user and password!",
       1},
      {TCameraFault::CtpSilent, "IP camera login failed, please check the user and password!", 1},
      {TCameraFault::CtpExitRefused, "IP camera exit current mode operation failed!", 1},
      {TCameraFault::CtpProbeUnanswered, "IP Camera access to upgrade the mode of failure!", 1},
      {TCameraFault::CtpDataRefused, "Error on reading ROM for upgrade.", 1},
      {TCameraFault::CloseMidUpload, "Error on reading ROM for upgrade.", 1},
      {TCameraFault::CtpContinue, "The camera now runs the version:1.0.2.1", 0},
      {TCameraFault::NeverReturns,
       "The camera did not answer again after the upgrade. Please check the camera.", 1},
  };
  site_.AddFirmware(TSimSeries::K, TFirmwareKind::System, "system", "1.0.X.1", "1.0.2.1");
  site_.StartRepository();
  for (const Case& c : cases) {
    auto& camera = Camera({c.fault});
    const TProcessResult run = site_.Upgrade(camera);
    const auto name = sim::CameraFaultName(c.fault);
    EXPECT_EQ(c.exit_code, run.exit_code) << name << run.out << run.err;
    ASSERT_FALSE(LogTexts(run.out).empty()) << name;
    EXPECT_EQ(c.last, FailureLineOf(LogTexts(run.out))) << name << run.out;
    EXPECT_EQ(c.exit_code == 0 ? "1.0.2.1" : "1.0.0.1", camera.state().sys_version) << name;
  }
}

TEST_F(KUpgrade, SameThirdPartMeansSameVersion) {
  auto& camera = Camera();
  // 1.0.0.9 differs from the camera's 1.0.0.1 only outside the third part.
  site_.AddFirmware(TSimSeries::K, TFirmwareKind::System, "system", "1.0.X.1", "1.0.0.9");
  site_.StartRepository();
  const TProcessResult run = site_.Upgrade(camera);
  EXPECT_EQ(3, run.exit_code) << run.out << run.err;
  EXPECT_EQ("It is the latest one, there is no need to upgrade !", LogTexts(run.out).back());
  EXPECT_TRUE(CtpRequests().empty());
}

}  // namespace
}  // namespace camlift::test
