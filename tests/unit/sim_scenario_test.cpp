// SPDX-License-Identifier: Apache-2.0
#include "sim_scenario.h"

#include <gtest/gtest.h>

#include "search_responder_ext.h"
#include "sim_client_env.h"

namespace camlift::sim {
namespace {

TEST(SimScenario, ACameraMaySpeakSeveralSearchDialects) {
  const nlohmann::json scenario = nlohmann::json::parse(R"({"cameras": [
      {"series": "P", "ip": "127.0.0.2", "port": 8081},
      {"series": "R", "ip": "127.0.0.3", "port": 8081, "search": ["moi", "8600"]}]})");
  const TScenario parsed = ParseScenario(scenario, "/tmp");
  ASSERT_EQ(2u, parsed.cameras.size());
  EXPECT_EQ((std::vector<std::string>{"1010"}), SearchDialectsOf(parsed.cameras[0]));
  EXPECT_EQ((std::vector<std::string>{"moi", "8600"}), SearchDialectsOf(parsed.cameras[1]));

  const nlohmann::json bad = nlohmann::json::parse(
      R"({"cameras": [{"series": "P", "ip": "127.0.0.2", "port": 8081, "search": ["imagia"]}]})");
  EXPECT_THROW(ParseScenario(bad, "/tmp"), std::runtime_error);
}

// The line camlift-sim prints for its clients: its own time scale, and the loopback broadcast
// only when every camera is on loopback (else it takes away one set before).
TEST(SimClientEnvironment, LineForTheClient) {
  TScenario loopback;
  loopback.cameras.resize(2);
  loopback.cameras[0].ip = "127.0.0.2";
  loopback.cameras[1].ip = "127.0.1.9";
  EXPECT_EQ("export CAMLIFT_TIME_SCALE=0.01 CAMLIFT_BROADCAST_ADDR=127.255.255.255",
            ClientEnvironmentLine(loopback, "0.01"));
  EXPECT_EQ("export CAMLIFT_TIME_SCALE=1 CAMLIFT_BROADCAST_ADDR=127.255.255.255",
            ClientEnvironmentLine(TScenario{}, ""));
  TScenario routed = loopback;
  routed.cameras[1].ip = "192.0.2.5";
  // A loopback broadcast left in the shell by an earlier example would miss that camera.
  EXPECT_EQ("export CAMLIFT_TIME_SCALE=0.5; unset CAMLIFT_BROADCAST_ADDR",
            ClientEnvironmentLine(routed, "0.5"));
}

}  // namespace
}  // namespace camlift::sim
