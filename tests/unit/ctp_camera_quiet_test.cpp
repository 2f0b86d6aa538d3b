// SPDX-License-Identifier: Apache-2.0
// The simulated K camera with its per-block record lines off (as the CTP benchmark runs it): the
// file still arrives whole and digested, accepted blocks are counted on the digest's line, and a
// refused block is still recorded.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "ctp/ctp_upgrade.h"
#include "ctp_camera.h"
#include "i18n/str_res.h"
#include "i18n/str_resource.h"
#include "pk2_builder.h"
#include "platform/timing.h"
#include "support/temp_folder.h"
#include "util/md5.h"

namespace camlift {
namespace {

class CtpCameraQuiet : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTimeScaleForTesting(0.001);
    SetLanguage("en");
  }
  void TearDown() override { SetTimeScaleForTesting(-1); }

  struct Run {
    bool ok = false;
    std::vector<nlohmann::json> entries;
    std::vector<sim::TCtpReceivedFile> files;
  };

  Run Transfer(const std::string& data, std::set<sim::TCameraFault> faults) {
    const std::string path = folder_.path() + "fw.pk2";
    test::WriteFile(path, sim::TPk2Builder().AddFile("sys.img", data).Bytes());
    sim::TCtpCameraSettings settings;
    settings.record_data_blocks = false;
    settings.faults = std::move(faults);
    auto recorder = std::make_shared<sim::TSimRecorder>();
    auto camera = std::make_shared<sim::TCtpCamera>(settings, recorder);
    Run run;
    {
      sim::TCtpStandaloneServer server(camera);
      std::string message;
      run.ok = UpgradeByCtp(path, "127.0.0.1", server.port(), "admin", "", message);
      server.Stop();
    }
    run.entries = recorder->Entries();
    run.files = camera->LastTransfer();
    return run;
  }

  static std::vector<std::string> Requests(const Run& run) {
    std::vector<std::string> lines;
    for (const auto& entry : run.entries) {
      if (entry.contains("request")) lines.push_back(entry["request"]);
    }
    return lines;
  }

  TfrmStrRes language_;
  test::TTempFolder folder_;
};

TEST_F(CtpCameraQuiet, AcceptedBlocksAreCountedNotRecorded) {
  std::string data(5000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 % 253);
  const Run run = Transfer(data, {});
  ASSERT_TRUE(run.ok);
  ASSERT_EQ(1u, run.files.size());
  EXPECT_TRUE(run.files[0].complete);
  EXPECT_EQ(data.size(), run.files[0].size);
  EXPECT_EQ(Md5Hex(data), run.files[0].md5);
  EXPECT_EQ((std::vector<std::string>{"CMD cfgusr CTP/1.0", "CMD exit CTP/1.0", "CMD 10", "FILE 12",
                                      "MD5 16"}),
            Requests(run));
  for (const auto& entry : run.entries) {
    if (entry.value("request", "") == "MD5 16") {
      EXPECT_EQ(4, entry.value("data_blocks", -1));  // 3 x 1400 + 800
      EXPECT_EQ(Md5Hex(data), entry.value("md5", ""));
    }
  }
}

TEST_F(CtpCameraQuiet, RefusedBlockIsStillRecorded) {
  const Run run = Transfer(std::string(3000, 'x'), {sim::TCameraFault::CtpDataRefused});
  EXPECT_FALSE(run.ok);
  EXPECT_TRUE(run.files.empty());
  bool found = false;
  for (const auto& entry : run.entries) {
    if (entry.value("request", "") == "DATA 1400") {
      found = true;
      EXPECT_EQ("fault ctp-data-refused", entry.value("note", ""));
      EXPECT_EQ("REPLY ERR busy", entry.value("reply", ""));
    }
  }
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace camlift
