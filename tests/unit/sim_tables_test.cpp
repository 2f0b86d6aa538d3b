// SPDX-License-Identifier: Apache-2.0
// The simulator's declaration tables as users meet them: scenario keys of every camera setting,
// search dialect names (the fault names: sim_faults_test.cpp).
#include <gtest/gtest.h>

#include "search_responder_ext.h"
#include "sim_scenario.h"

namespace camlift::sim {
namespace {

TEST(SimTables, EverySettingIsAScenarioKey) {
  const nlohmann::json scenario = nlohmann::json::parse(R"({"cameras": [{
      "series": "R", "ip": "127.0.0.9", "port": 8081, "upload_port": 8601, "name": "door",
      "user": "root", "password": "pw", "sys_version": "9.9.9.1", "ui_version": "9.9.9.2",
      "model": "R1", "oem": "acme", "reboot_ms": 5, "close_after_bytes": 12,
      "upload_dir": "up", "mac": "00:11:22:33:44:66", "device_id": "ID-1",
      "device_name": "Door", "netmask": "255.255.0.0", "gateway": "127.0.0.254",
      "dns": "127.0.0.53", "faults": ["old-version"], "search": ["moi"]}]})");
  const TCameraConfig c = ParseScenario(scenario, "/srv/site").cameras.at(0);
  EXPECT_EQ(TSimSeries::R, c.series);
  EXPECT_EQ("127.0.0.9", c.ip);
  EXPECT_EQ(8081, c.port);
  EXPECT_EQ(8601, c.upload_port);
  EXPECT_EQ("door", c.name);
  EXPECT_EQ("root", c.user);
  EXPECT_EQ("pw", c.password);
  EXPECT_EQ("9.9.9.1", c.sys_version);
  EXPECT_EQ("9.9.9.2", c.ui_version);
  EXPECT_EQ("R1", c.model);
  EXPECT_EQ("acme", c.oem);
  EXPECT_EQ(5, c.reboot_ms);
  EXPECT_EQ(12u, c.close_after_bytes);
  EXPECT_EQ("/srv/site/up", c.upload_dir);  // relative to the scenario file
  EXPECT_EQ("00:11:22:33:44:66", c.mac);
  EXPECT_EQ("ID-1", c.device_id);
  EXPECT_EQ("Door", c.device_name);
  EXPECT_EQ("255.255.0.0", c.netmask);
  EXPECT_EQ("127.0.0.254", c.gateway);
  EXPECT_EQ("127.0.0.53", c.dns);
  EXPECT_TRUE(c.has(TCameraFault::OldVersion));
  EXPECT_EQ((std::vector<std::string>{"moi"}), c.search_dialects);
}

TEST(SimTables, RefusalsNameTheKeyAndTheChoices) {
  struct Case {
    const char* camera;
    const char* message;
  };
  const Case cases[] = {
      {R"({"series": "P", "colour": "red"})", "camera #1: unknown key \"colour\""},
      {R"({"series": "P", "port": "81"})", "camera #1: \"port\" has the wrong type"},
      {R"({"series": "P", "search": ["imagia"]})",
       "camera #1: unknown search dialect \"imagia\" (moi, 1010 or 8600)"},
      {R"({"series": "P", "faults": ["ctp-close-mid-transfer"]})",
       "camera #1: unknown camera fault \"ctp-close-mid-transfer\""},
  };
  for (const Case& c : cases) {
    const auto scenario = nlohmann::json::parse(std::string(R"({"cameras": [)") + c.camera + "]}");
    try {
      ParseScenario(scenario, "/tmp");
      ADD_FAILURE() << c.camera << " was taken";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(c.message, std::string(e.what())) << c.camera;
    }
  }
}

// Each responder listens on the port its dialect's queries go to.
TEST(SimTables, ResponderPortOfEachDialect) {
  const TSearchDialect* moi = FindSearchDialect("moi");
  ASSERT_NE(nullptr, moi);
  EXPECT_EQ(10000, moi->port);
  EXPECT_EQ(6801, FindSearchDialect("1010")->port);
  EXPECT_EQ(8600, FindSearchDialect("8600")->port);
}

}  // namespace
}  // namespace camlift::sim
