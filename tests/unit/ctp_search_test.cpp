// SPDX-License-Identifier: Apache-2.0
// The CTP search: reading a text reply, and the version read of series K through a simulated
// responder on loopback (UDP 7999, broadcast to 127.255.255.255).
#include "ctp/ctp_search.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "ctp/ctp_search_send.h"
#include "ctp/ctp_upgrade.h"
#include "ctp_camera.h"
#include "ctp_search_responder.h"
#include "platform/timing.h"
#include "upgrade/upgrade_k.h"

namespace camlift {
namespace {

std::optional<TCtpSearchRecord> Parse(std::string_view text) {
  return ParseCtpSearchReply(std::span(text.data(), text.size()));
}

TEST(CtpSearchReply, Fields) {
  const auto record = Parse(
      "REPLY CTP/1.0 200 OK\r\n-name Front door\r\n-sn SN-1\r\n-ip 192.168.1.126\r\n"
      "-netmask 255.255.255.0\r\n-portctp 81\r\n-dhcpen 0\r\n-mdns 8.8.8.8\r\n"
      "-sdns 8.8.4.4\r\n-gw 192.168.1.1\r\n-mac 00:11:22:33:44:55\r\n"
      "-version sys 21.37.2.38 ui 1.2\r\n");
  ASSERT_TRUE(record);
  EXPECT_EQ("Front door", record->name);
  EXPECT_EQ("SN-1", record->serial);
  EXPECT_EQ("192.168.1.126", record->ip);
  EXPECT_EQ("255.255.255.0", record->netmask);
  EXPECT_EQ(81, record->port);
  EXPECT_FALSE(record->dhcp);
  EXPECT_EQ("8.8.8.8", record->dns1);
  EXPECT_EQ("8.8.4.4", record->dns2);
  EXPECT_EQ("192.168.1.1", record->gateway);
  EXPECT_EQ("21.37.2.38 ", record->version);
}

TEST(CtpSearchReply, Rules) {
  struct Case {
    const char* what;
    std::string text;
    std::string TCtpSearchRecord::*field;
    std::string expected;
  };
  const Case cases[] = {
      {"version with text behind it", "REPLY\n-version sys 1.2.3.4 more",
       &TCtpSearchRecord::version, "1.2.3.4 "},
      {"version with nothing behind it", "REPLY\n-version sys 1.2.3.4", &TCtpSearchRecord::version,
       ""},
      {"version line ending in CR LF", "REPLY\r\n-version sys 1.2.3.4\r\n",
       &TCtpSearchRecord::version, ""},
      {"a later line wins", "REPLY\r\n-ip 1.1.1.1\r\n-ip 2.2.2.2\r\n", &TCtpSearchRecord::ip,
       "2.2.2.2"},
      {"value is everything after the first blank", "REPLY\r\n-name a b  c\r\n",
       &TCtpSearchRecord::name, "a b  c"},
      {"line without a blank is its own value", "REPLY\r\n-name\r\n", &TCtpSearchRecord::name,
       "-name"},
      {"names keep 50 characters", "REPLY\r\n-name " + std::string(60, 'n'),
       &TCtpSearchRecord::name, std::string(50, 'n')},
      {"unknown lines are ignored", "REPLY\r\n-what 1\r\nnoise\r\n-sn X\r\n",
       &TCtpSearchRecord::serial, "X"},
      {"a zero byte ends the text", std::string("REPLY\r\n-sn A\0\r\n-sn B\r\n", 20),
       &TCtpSearchRecord::serial, "A"},
  };
  for (const Case& c : cases) {
    const auto record = Parse(c.text);
    ASSERT_TRUE(record) << c.what;
    EXPECT_EQ(c.expected, (*record).*c.field) << c.what;
  }
}

TEST(CtpSearchReply, NumbersFlagsAndRefusals) {
  EXPECT_EQ(81, Parse("REPLY\r\n-portctp abc\r\n")->port);
  EXPECT_EQ(0, Parse("REPLY\r\n-sn x\r\n")->port);
  EXPECT_EQ(8081, Parse("REPLY\r\n-portctp 8081\r\n")->port);
  EXPECT_TRUE(Parse("REPLY\r\n-dhcpen 1\r\n")->dhcp);
  EXPECT_TRUE(Parse("REPLY\r\n-dhcpen 00\r\n")->dhcp);
  EXPECT_FALSE(Parse("REPLY\r\n-dhcpen 0\r\n")->dhcp);
  EXPECT_FALSE(Parse(""));
  EXPECT_FALSE(Parse("SEARCH * CTP/1.0\r\n"));
  EXPECT_FALSE(Parse("reply\r\n-sn x\r\n"));
  // Only the first 511 bytes are read.
  const std::string long_reply = "REPLY\r\n" + std::string(490, ' ') + "\r\n-sn 123456789";
  EXPECT_EQ("12345678", Parse(long_reply)->serial);
}

class CtpVersionSearch : public ::testing::Test {
 protected:
  void SetUp() override { SetTimeScaleForTesting(0.01); }
  void TearDown() override { SetTimeScaleForTesting(-1); }

  static sim::TCtpSearchIdentity Identity(const std::string& ip, const std::string& version) {
    sim::TCtpSearchIdentity id;
    id.ip = ip;
    id.sys_version = version;
    return id;
  }
};

// Addresses of their own, so that tests running at the same time do not answer for each other.
TEST_F(CtpVersionSearch, OnlyTheCameraWithTheAddressCounts) {
  const std::string ip = "127.31.7.61";
  auto recorder = std::make_shared<sim::TSimRecorder>();
  sim::TCtpSearchResponder other([] { return Identity("127.31.7.62", "9.9.9.9"); }, recorder,
                                 "other");
  sim::TCtpSearchResponder camera([&] { return Identity(ip, "3.4.5.6"); }, recorder, "camera");
  auto ctp = std::make_shared<sim::TCtpCamera>(sim::TCtpCameraSettings{}, recorder);
  sim::TCtpStandaloneServer tcp(ctp, ip);

  std::string version = "stale";
  ReadVersionBySearch(ip, tcp.port(), version);
  EXPECT_EQ("3.4.5.6 ", version);

  TKSYSUpgrade upgrader;
  upgrader.SetIPAddress(ip);
  upgrader.SetPort(tcp.port());
  ASSERT_TRUE(upgrader.ReadCurrentVersion());
  // The blank the reply leaves behind the version is not part of it.
  EXPECT_EQ("3.4.5.6", upgrader.CurrentVersion());
  EXPECT_EQ("3.4.X.6", upgrader.ModelKey());

  bool searched = false;
  for (const auto& entry : recorder->Entries()) {
    if (entry.value("protocol", "") == "CTP-search") {
      EXPECT_EQ("SEARCH * CTP/1.0\\r\\nFrom:0.0.0.0\\r\\n\\r\\n", entry["request"]);
      searched = true;
    }
  }
  EXPECT_TRUE(searched);
}

TEST_F(CtpVersionSearch, NoVersionWithoutAReachableCamera) {
  auto recorder = std::make_shared<sim::TSimRecorder>();
  sim::TCtpSearchResponder camera([] { return Identity("127.31.7.63", "3.4.5.6"); }, recorder,
                                  "camera");
  std::string version = "stale";
  // A host name is no address: no version (and never a message in its place).
  ReadVersionBySearch("camera.local", 81, version);
  EXPECT_EQ("", version);
  // Nobody listens on the TCP port: no version either, although the search would answer.
  ReadVersionBySearch("127.31.7.63", 1, version);
  EXPECT_EQ("", version);

  TKSYSUpgrade upgrader;
  upgrader.SetIPAddress("camera.local");
  EXPECT_FALSE(upgrader.ReadCurrentVersion());
  EXPECT_EQ("", upgrader.CurrentVersion());
}

std::uint32_t Ip(const char* text) {
  in_addr address{};
  ::inet_pton(AF_INET, text, &address);
  return address.s_addr;
}

// The version search goes to the broadcast address as always and straight to the camera.
TEST(CtpVersionSearchTargets, BroadcastThenTheCamera) {
  ::setenv("CAMLIFT_BROADCAST_ADDR", "127.255.255.255", 1);
  EXPECT_EQ((std::vector<std::uint32_t>{Ip("127.255.255.255"), Ip("192.0.2.5")}),
            CtpVersionSearchTargets("192.0.2.5"));
  // Not an address, or the broadcast address itself: the broadcast alone.
  EXPECT_EQ((std::vector<std::uint32_t>{Ip("127.255.255.255")}),
            CtpVersionSearchTargets("camera.local"));
  EXPECT_EQ((std::vector<std::uint32_t>{Ip("127.255.255.255")}),
            CtpVersionSearchTargets("127.255.255.255"));
}

// The "broadcast" reaches only another camera (as on a network where the camera sits behind a
// router): the camera still answers the search sent to its own address, on the socket it holds
// for that address, and its answer gives the version.
TEST_F(CtpVersionSearch, TheCameraAnswersASearchSentToItsAddress) {
  const std::string ip = "127.31.7.64";
  auto recorder = std::make_shared<sim::TSimRecorder>();
  sim::TCtpSearchResponder camera([&] { return Identity(ip, "3.4.5.6"); }, recorder, "camera");
  sim::TCtpSearchResponder other([] { return Identity("127.31.7.65", "9.9.9.9"); }, recorder,
                                 "other");
  auto ctp = std::make_shared<sim::TCtpCamera>(sim::TCtpCameraSettings{}, recorder);
  sim::TCtpStandaloneServer tcp(ctp, ip);

  ::setenv("CAMLIFT_BROADCAST_ADDR", "127.31.7.66", 1);
  std::string version;
  std::vector<TSendProblem> problems{{1, 2, 3}};
  ReadVersionBySearch(ip, tcp.port(), version, TRunControl::None(), &problems);
  ::setenv("CAMLIFT_BROADCAST_ADDR", "127.255.255.255", 1);
  EXPECT_EQ("3.4.5.6 ", version);
  EXPECT_TRUE(problems.empty());

  // The camera records the search on its own thread after it answered: its record may come a
  // moment after the answer.
  bool direct = false;
  for (int attempt = 0; attempt < 200 && !direct; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (const auto& entry : recorder->Entries()) {
      if (entry.value("protocol", "") != "CTP-search" || !entry.value("direct", false)) continue;
      EXPECT_EQ("camera", entry["name"]);
      direct = true;
    }
  }
  EXPECT_TRUE(direct);
}

// Beside the search sent to the camera, the broadcast still goes out as always: another camera
// on the segment hears it.
TEST_F(CtpVersionSearch, TheBroadcastStillGoesOut) {
  const std::string ip = "127.31.7.67";
  auto recorder = std::make_shared<sim::TSimRecorder>();
  sim::TCtpSearchResponder camera([&] { return Identity(ip, "3.4.5.6"); }, recorder, "camera");
  sim::TCtpSearchResponder other([] { return Identity("127.31.7.68", "9.9.9.9"); }, recorder,
                                 "other");
  auto ctp = std::make_shared<sim::TCtpCamera>(sim::TCtpCameraSettings{}, recorder);
  sim::TCtpStandaloneServer tcp(ctp, ip);

  ::setenv("CAMLIFT_BROADCAST_ADDR", "127.255.255.255", 1);
  std::string version;
  ReadVersionBySearch(ip, tcp.port(), version);
  EXPECT_EQ("3.4.5.6 ", version);

  // The search ends at the camera's own reply; the other camera records what it heard on its own
  // thread, so its record may come a moment later.
  int broadcasts_heard_by_other = 0;
  for (int attempt = 0; attempt < 200 && broadcasts_heard_by_other == 0; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (const auto& entry : recorder->Entries()) {
      if (entry.value("protocol", "") != "CTP-search" || entry["name"] != "other") continue;
      EXPECT_FALSE(entry.value("direct", true));
      ++broadcasts_heard_by_other;
    }
  }
  EXPECT_LE(1, broadcasts_heard_by_other);  // a test beside this one may broadcast too
}

}  // namespace
}  // namespace camlift
