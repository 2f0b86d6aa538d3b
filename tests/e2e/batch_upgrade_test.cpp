// camlift upgrade --from: a simulated site of twenty cameras, three of them faulty.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "e2e_site.h"
#include "platform/timing.h"
#include "sim_site.h"

namespace camlift::test {
namespace {

TEST(BatchUpgrade, TwentyCamerasThreeFaulty) {
  TTempFolder temp;
  SetTimeScaleForTesting(std::stod(kE2eTimeScale));
  sim::TSiteOptions options;
  options.count = 20;
  options.faulty = 3;
  const int pid = static_cast<int>(::getpid());
  options.base_ip = "127." + std::to_string(pid / 250 % 250 + 1) + "." +
                    std::to_string(pid % 250 + 1) + ".101";
  options.repo_root = temp.path() + "repo";
  auto recorder = std::make_shared<sim::TSimRecorder>();
  sim::TScenario scenario = sim::MakeSiteScenario(options);
  const std::string list = temp.path() + "cameras.csv";
  WriteFile(list, sim::SiteCameraList(scenario) + "# a comment line\n");
  sim::TSimulator simulator(scenario, recorder);
  simulator.Start();

  const std::string summary = temp.path() + "summary.json";
  const TProcessResult run = RunProcess(
      {CAMLIFT_EXE, "upgrade", "--from", list, "--jobs", "4", "--yes", "--repository",
       simulator.repository()->BaseUrl(), "--data-dir", temp.path() + "data", "--summary-json",
       summary},
      {{"CAMLIFT_TIME_SCALE", kE2eTimeScale}, {"LC_ALL", "C"},
       {"XDG_CONFIG_HOME", temp.path() + "config"}});
  simulator.Stop();
  EXPECT_EQ(1, run.exit_code) << run.err;

  const nlohmann::json outcomes = nlohmann::json::parse(ReadFile(summary));
  ASSERT_EQ(20u, outcomes.size());
  std::map<std::string, std::string> results, reasons;
  int ok = 0;
  for (const auto& o : outcomes) {
    results[o["ip"]] = o["result"];
    reasons[o["ip"]] = o["reason"];
    ok += o["result"] == "ok";
    EXPECT_TRUE(std::filesystem::exists(o["log"].get<std::string>())) << o.dump();
  }
  EXPECT_EQ(17, ok);
  // The faulty ones, by their place in the site (every sixth camera).
  const auto& cams = scenario.cameras;
  EXPECT_EQ("failed", results[cams[5].ip]);
  // The account was refused: the reason says so rather than pointing at the cable.
  EXPECT_EQ("The camera refused the account or password.", reasons[cams[5].ip]);
  EXPECT_EQ("failed", results[cams[11].ip]);
  EXPECT_EQ("Error on reading ROM for upgrade.", reasons[cams[11].ip]);
  EXPECT_EQ("version unchanged", results[cams[17].ip]);
  EXPECT_EQ("The camera still reports the version:2.0.0.0", reasons[cams[17].ip]);
  // The table on stdout tells the same.
  EXPECT_NE(std::string::npos, run.out.find("version unchanged"));

  // No camera received another series' firmware.
  std::map<std::string, std::string> series_of;
  for (const auto& c : cams) series_of[c.ip] = sim::SeriesText(c.series);
  int http_uploads = 0;
  for (const auto& entry : recorder->Entries()) {
    if (!entry.contains("upload") || entry["upload"]["firmware"].is_null()) continue;
    ++http_uploads;
    EXPECT_EQ(series_of[entry["address"]], entry["upload"]["firmware"]["series"]) << entry.dump();
  }
  EXPECT_GE(http_uploads, 12);
}

TEST(BatchUpgrade, ListErrorsStopBeforeAnythingStarts) {
  TTempFolder temp;
  const std::string list = temp.path() + "cameras.csv";
  WriteFile(list, "ip,port,series\n127.0.0.2,81,P\n127.0.0.2,81,M\n");
  const TProcessResult run = RunProcess({CAMLIFT_EXE, "upgrade", "--from", list});
  EXPECT_EQ(2, run.exit_code);
  EXPECT_NE(std::string::npos, run.err.find("listed twice"));
  EXPECT_EQ("", run.out);
  EXPECT_EQ(2, RunProcess({CAMLIFT_EXE, "upgrade", "--from", temp.path() + "missing.csv"}).exit_code);
  EXPECT_EQ(2, RunProcess({CAMLIFT_EXE, "upgrade", "--from", list, "--ip", "1.2.3.4"}).exit_code);
}

}  // namespace
}  // namespace camlift::test
