#include "sim_scenario.h"

#include <gtest/gtest.h>

#include "search_responder_ext.h"

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

}  // namespace
}  // namespace camlift::sim
