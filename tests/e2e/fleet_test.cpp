// SPDX-License-Identifier: Apache-2.0
// The fleet commands against a simulated site: camlift status, the dry run of a batch, the
// history record and the resumed batch. The site has twelve cameras of the four series: the
// first runs a version the catalogue excludes, the next two that are not faulty run the
// catalogue's version already, and every third is faulty (refused account, refused upload,
// camera that keeps its old version, camera that does not listen).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "e2e_site.h"
#include "platform/timing.h"
#include "sim_site.h"

namespace camlift::test {
namespace {

// Lower case: the program lower-cases every password before it sends it.
constexpr const char* kMarkerPassword = "marker7391pw";

class FleetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTimeScaleForTesting(std::stod(kE2eTimeScale));
    sim::TSiteOptions options;
    options.count = 12;
    options.faulty = 4;
    options.excluded = 1;
    options.up_to_date = 2;
    options.password = kMarkerPassword;
    const int pid = static_cast<int>(::getpid());
    options.base_ip =
        "127." + std::to_string(pid / 250 % 250 + 1) + "." + std::to_string(pid % 250 + 1) + ".151";
    options.repo_root = temp_.path() + "repo";
    scenario_ = sim::MakeSiteScenario(options);
    list_ = temp_.path() + "cameras.csv";
    WriteFile(list_, sim::SiteCameraList(scenario_));
    simulator_ = std::make_unique<sim::TSimulator>(scenario_, recorder_);
    simulator_->Start();
  }
  void TearDown() override { simulator_->Stop(); }

  TProcessResult Camlift(std::vector<std::string> args) {
    const bool reads_cameras = args[0] != "history";
    args.insert(args.begin(), CAMLIFT_EXE);
    args.insert(args.end(), {"--data-dir", Data()});
    if (reads_cameras)
      args.insert(args.end(), {"--repository", simulator_->repository()->BaseUrl()});
    return RunProcess(args, {{"CAMLIFT_TIME_SCALE", kE2eTimeScale},
                             {"LC_ALL", "C"},
                             {"XDG_CONFIG_HOME", temp_.path() + "config"}});
  }
  std::string Data() const { return temp_.path() + "data"; }
  std::string Ip(int index) const { return scenario_.cameras[static_cast<std::size_t>(index)].ip; }

  // The camera requests in the record from entry `from` on.
  std::vector<nlohmann::json> CameraRequests(std::size_t from = 0) const {
    std::vector<nlohmann::json> found;
    const auto entries = recorder_->Entries();
    for (std::size_t i = from; i < entries.size(); ++i) {
      if (entries[i].value("role", "") == "camera") found.push_back(entries[i]);
    }
    return found;
  }

  TTempFolder temp_;
  sim::TScenario scenario_;
  std::string list_;
  std::shared_ptr<sim::TSimRecorder> recorder_ = std::make_shared<sim::TSimRecorder>();
  std::unique_ptr<sim::TSimulator> simulator_;
};

std::vector<std::vector<std::string>> ParseCsv(std::string text) {
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : Lines(text)) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
    rows.push_back(fields);
  }
  return rows;
}

std::vector<nlohmann::json> JsonLines(const std::string& text) {
  std::vector<nlohmann::json> lines;
  for (const std::string& line : Lines(text)) {
    if (!line.empty()) lines.push_back(nlohmann::json::parse(line));
  }
  return lines;
}

// The runs of the history: a camera that took its firmware is recorded then and again at its
// end, under one "run"; its last line is the record of the run.
std::vector<nlohmann::json> RecordedRuns(const std::string& text) {
  std::vector<nlohmann::json> runs;
  std::map<std::string, std::size_t> at;
  for (nlohmann::json& line : JsonLines(text)) {
    const std::string run = line.value("run", "");
    if (!run.empty() && at.count(run)) {
      runs[at[run]] = std::move(line);
      continue;
    }
    if (!run.empty()) at[run] = runs.size();
    runs.push_back(std::move(line));
  }
  return runs;
}

// What a run must never do: send a camera anything but a read.
void ExpectOnlyReads(const std::vector<nlohmann::json>& requests) {
  for (const auto& r : requests) {
    EXPECT_FALSE(r.contains("upload")) << r.dump();
    // The search datagram that reads a series K version is a read; any other CTP request
    // would be a command.
    if (r.value("protocol", "") == "CTP-search") {
      EXPECT_TRUE(r.value("request", "").starts_with("SEARCH * CTP/1.0")) << r.dump();
    } else {
      EXPECT_FALSE(r.contains("request")) << r.dump();
    }
    if (r.contains("method")) {
      EXPECT_EQ("GET", r["method"]) << r.dump();
    }
  }
}

TEST_F(FleetTest, StatusTellsEachCamerasState) {
  const TProcessResult run = Camlift({"status", "--from", list_, "--csv", "--jobs", "4"});
  ASSERT_EQ(0, run.exit_code) << run.err;
  const auto rows = ParseCsv(run.out);
  ASSERT_EQ(13u, rows.size()) << run.out;
  EXPECT_EQ((std::vector<std::string>{"IP address", "Port", "Series", "Model", "Current",
                                      "Catalogue", "State"}),
            rows[0]);
  const std::vector<std::vector<std::string>> expected = {
      {"M", "1.2.3.2", "1.2.3.5", "excluded"},
      {"P", "2.0.0.1", "2.0.0.1", "up to date"},
      {"R", "", "", "account refused"},
      {"K", "3.1.9.7", "3.1.9.7", "up to date"},
      {"M", "1.2.3.4", "1.2.3.5", "update available"},
      {"P", "2.0.0.0", "2.0.0.1", "update available"},  // refuses uploads, reads fine
      {"R", "84.2.0.121", "84.2.0.130", "update available"},
      {"K", "3.1.8.7", "3.1.9.7", "update available"},
      {"M", "1.2.3.4", "1.2.3.5", "update available"},  // keeps its old version
      {"P", "2.0.0.0", "2.0.0.1", "update available"},
      {"R", "84.2.0.121", "84.2.0.130", "update available"},
      {"K", "", "", "unreachable"},
  };
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto& row = rows[i + 1];
    ASSERT_EQ(7u, row.size()) << run.out;
    SCOPED_TRACE(row[0]);
    EXPECT_EQ(Ip(static_cast<int>(i)), row[0]);
    EXPECT_EQ(expected[i][0], row[2]);
    EXPECT_EQ(expected[i][1], row[4]);
    EXPECT_EQ(expected[i][2], row[5]);
    EXPECT_EQ(expected[i][3], row[6]);
  }
  EXPECT_EQ("P100", rows[2][3]);
  ExpectOnlyReads(CameraRequests());

  // The same states as JSON lines, and a camera named on the command line.
  const TProcessResult json = Camlift({"status", "--from", list_, "--json"});
  ASSERT_EQ(0, json.exit_code) << json.err;
  const auto lines = JsonLines(json.out);
  ASSERT_EQ(12u, lines.size());
  EXPECT_EQ("excluded", lines[0]["state"]);
  EXPECT_EQ("account refused", lines[2]["state"]);
  const TProcessResult one = Camlift(
      {"status", "--series", "p", "--ip", Ip(9), "--port", "8081", "--password", kMarkerPassword});
  ASSERT_EQ(0, one.exit_code) << one.err;
  EXPECT_NE(std::string::npos, one.out.find("update available")) << one.out;
  EXPECT_FALSE(std::filesystem::exists(Data() + "/history.jsonl"));
}

// status takes the password in every form the upgrade takes it: a file, the environment, the
// terminal or stdin (--password -). Without one the series R camera refuses the account.
TEST_F(FleetTest, StatusTakesThePasswordLikeAnUpgrade) {
  const std::string file = temp_.path() + "password.txt";
  WriteFile(file, std::string(kMarkerPassword) + "\n");
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    std::string stdin_text;
    const char* state;
  };
  const Case cases[] = {
      {"file", {"--password-file", file}, {}, "", "update available"},
      {"environment", {}, {{"CAMLIFT_PASSWORD", kMarkerPassword}}, "", "update available"},
      {"stdin", {"--password", "-"}, {}, std::string(kMarkerPassword) + "\n", "update available"},
      {"none", {}, {}, "", "account refused"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv = {CAMLIFT_EXE,
                                     "status",
                                     "--series",
                                     "R",
                                     "--ip",
                                     Ip(6),
                                     "--port",
                                     std::to_string(scenario_.cameras[6].port),
                                     "--json",
                                     "--data-dir",
                                     Data(),
                                     "--repository",
                                     simulator_->repository()->BaseUrl()};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::map<std::string, std::string> env = {{"CAMLIFT_TIME_SCALE", kE2eTimeScale},
                                              {"LC_ALL", "C"},
                                              {"XDG_CONFIG_HOME", temp_.path() + "config"},
                                              {"CAMLIFT_PASSWORD", ""}};
    for (const auto& [name, value] : c.env) env[name] = value;
    const TProcessResult run = RunProcess(argv, env, c.stdin_text);
    ASSERT_EQ(0, run.exit_code) << c.name << "\n" << run.err;
    const auto lines = JsonLines(run.out);
    ASSERT_EQ(1u, lines.size()) << c.name << "\n" << run.out;
    EXPECT_EQ(c.state, lines[0]["state"]) << c.name;
  }
}

TEST_F(FleetTest, DryRunDownloadsButSendsNothing) {
  const std::string summary = temp_.path() + "plan.json";
  const TProcessResult run =
      Camlift({"upgrade", "--from", list_, "--dry-run", "--summary-json", summary});
  // Some cameras cannot be upgraded: the plan says so in its exit status too.
  EXPECT_EQ(1, run.exit_code) << run.err;
  std::map<std::string, std::string> plan;
  for (const auto& o : nlohmann::json::parse(ReadFile(summary))) plan[o["ip"]] = o["result"];
  ASSERT_EQ(12u, plan.size());
  EXPECT_EQ("excluded", plan[Ip(0)]);
  EXPECT_EQ("up to date", plan[Ip(1)]);
  EXPECT_EQ("account refused", plan[Ip(2)]);
  EXPECT_EQ("would upgrade 1.2.3.4 \u2192 1.2.3.5", plan[Ip(4)]);
  EXPECT_EQ("would upgrade 2.0.0.0 \u2192 2.0.0.1", plan[Ip(5)]);
  EXPECT_EQ("would upgrade 84.2.0.121 \u2192 84.2.0.130", plan[Ip(6)]);
  EXPECT_EQ("would upgrade 3.1.8.7 \u2192 3.1.9.7", plan[Ip(7)]);
  EXPECT_EQ("unreachable", plan[Ip(11)]);
  EXPECT_NE(std::string::npos, run.out.find("would upgrade 2.0.0.0 \u2192 2.0.0.1")) << run.out;

  ExpectOnlyReads(CameraRequests());
  // The verified cache holds the firmware of every series, ready for the real run.
  std::set<std::string> verified;
  for (const auto& f : std::filesystem::recursive_directory_iterator(Data() + "/Bin")) {
    const std::string name = f.path().filename().string();
    if (name.ends_with(".verified")) verified.insert(name);
  }
  EXPECT_EQ(4u, verified.size());
  // A plan is not an upgrade: nothing in the record.
  EXPECT_FALSE(std::filesystem::exists(Data() + "/history.jsonl"));
}

TEST_F(FleetTest, HistoryMatchesTheSummaryAndResumeRunsOnlyTheRest) {
  const std::string first = temp_.path() + "first.json";
  const TProcessResult run =
      Camlift({"upgrade", "--from", list_, "--jobs", "4", "--summary-json", first});
  EXPECT_EQ(1, run.exit_code) << run.err;
  const nlohmann::json outcomes = nlohmann::json::parse(ReadFile(first));
  ASSERT_EQ(12u, outcomes.size());

  const std::string record = ReadFile(Data() + "/history.jsonl");
  EXPECT_EQ(std::string::npos, record.find(kMarkerPassword));
  const auto lines = RecordedRuns(record);
  ASSERT_EQ(12u, lines.size());
  std::map<std::string, nlohmann::json> by_ip;
  for (const auto& line : lines) by_ip[line["ip"]] = line;
  std::set<std::string> upgraded;
  for (const auto& o : outcomes) {
    SCOPED_TRACE(o.dump());
    const nlohmann::json& line = by_ip[o["ip"]];
    EXPECT_EQ("batch", line["source"]);
    EXPECT_EQ(o["port"], line["port"]);
    EXPECT_EQ(o["series"], line["series"]);
    EXPECT_EQ(o["result"], line["result"]);
    EXPECT_EQ(o["reason"], line["reason"]);
    EXPECT_EQ(o["oldVersion"], line["versionBefore"]);
    EXPECT_EQ(o["reportedVersion"], line["versionAfter"]);
    EXPECT_EQ(o["log"], line["log"]);
    if (o["result"] == "ok") {
      upgraded.insert(o["ip"]);
      EXPECT_EQ(32u, line["archiveMd5"].get<std::string>().size());
      EXPECT_TRUE(line["firmwareFile"].get<std::string>().ends_with(".zip"));
    }
  }
  // Cameras 4, 6, 7, 9 and 10 take their firmware; the others fail or need none.
  EXPECT_EQ((std::set<std::string>{Ip(4), Ip(6), Ip(7), Ip(9), Ip(10)}), upgraded);
  EXPECT_EQ("The camera still reports the version:1.2.3.4", by_ip[Ip(8)]["reason"]);
  EXPECT_EQ("version unchanged", by_ip[Ip(8)]["result"]);

  // camlift history shows the record, for one camera and from a date on.
  const TProcessResult one = Camlift({"history", "--ip", Ip(4), "--json"});
  ASSERT_EQ(0, one.exit_code) << one.err;
  ASSERT_EQ(1u, JsonLines(one.out).size()) << one.out;
  EXPECT_EQ("ok", JsonLines(one.out)[0]["result"]);
  const TProcessResult later = Camlift({"history", "--since", "2999-01-01"});
  ASSERT_EQ(0, later.exit_code) << later.err;
  EXPECT_EQ(1u, Lines(later.out).size()) << later.out;  // the header only
  const TProcessResult table = Camlift({"history"});
  EXPECT_EQ(13u, Lines(table.out).size()) << table.out;

  // The second run leaves the upgraded cameras alone and covers every camera in its summary.
  const std::size_t mark = recorder_->Entries().size();
  const std::string second = temp_.path() + "second.json";
  const TProcessResult resumed =
      Camlift({"upgrade", "--from", list_, "--resume", first, "--summary-json", second});
  EXPECT_EQ(1, resumed.exit_code) << resumed.err;
  EXPECT_NE(std::string::npos, resumed.out.find("5 of 12 cameras were upgraded")) << resumed.out;
  std::set<std::string> asked;
  for (const auto& r : CameraRequests(mark)) {
    // Every series K camera answers the broadcast of any series K version read.
    if (r.value("protocol", "") != "CTP-search") asked.insert(r.value("address", ""));
  }
  for (const std::string& ip : upgraded) EXPECT_EQ(0u, asked.count(ip)) << ip;
  EXPECT_EQ(1u, asked.count(Ip(5)));
  const nlohmann::json again = nlohmann::json::parse(ReadFile(second));
  ASSERT_EQ(12u, again.size());
  for (std::size_t i = 0; i < again.size(); ++i) {
    EXPECT_EQ(Ip(static_cast<int>(i)), again[i]["ip"]);
    if (upgraded.count(again[i]["ip"])) {
      EXPECT_EQ("ok", again[i]["result"]);
      EXPECT_EQ("upgraded by an earlier run", again[i]["reason"]);
    }
  }
  // Only the cameras that ran again are in the record a second time.
  EXPECT_EQ(12u + 7u, RecordedRuns(ReadFile(Data() + "/history.jsonl")).size());
}

TEST_F(FleetTest, TwoBatchesAtOnceAppendWholeLines) {
  // The site split in two lists, each run by its own program at the same time.
  std::string halves[2] = {"ip,port,series,user,password\n", "ip,port,series,user,password\n"};
  for (std::size_t i = 0; i < scenario_.cameras.size(); ++i) {
    const auto& c = scenario_.cameras[i];
    halves[i % 2] += c.ip + "," + std::to_string(c.port) + "," + sim::SeriesText(c.series) +
                     ",admin," + kMarkerPassword + "\n";
  }
  WriteFile(temp_.path() + "a.csv", halves[0]);
  WriteFile(temp_.path() + "b.csv", halves[1]);
  auto a = std::async(std::launch::async, [&] {
    return Camlift({"upgrade", "--from", temp_.path() + "a.csv", "--jobs", "6"});
  });
  auto b = std::async(std::launch::async, [&] {
    return Camlift({"upgrade", "--from", temp_.path() + "b.csv", "--jobs", "6"});
  });
  EXPECT_EQ(1, a.get().exit_code);
  EXPECT_EQ(1, b.get().exit_code);
  const std::string record = ReadFile(Data() + "/history.jsonl");
  // Whole lines only, from both batches at once.
  for (const std::string& line : Lines(record)) {
    ASSERT_FALSE(nlohmann::json::parse(line, nullptr, false).is_discarded()) << line;
  }
  const auto lines = RecordedRuns(record);
  ASSERT_EQ(12u, lines.size()) << record;
  std::set<std::string> cameras;
  for (const auto& parsed : lines) cameras.insert(parsed["ip"]);
  EXPECT_EQ(12u, cameras.size());
}

TEST(FleetCommands, RefuseWhatTheyCannotDo) {
  TTempFolder temp;
  const std::string list = temp.path() + "cameras.csv";
  WriteFile(list, "ip,port,series\n127.0.0.2,81,P\n");
  WriteFile(temp.path() + "broken.json", "{\"not\": \"a list\"}");
  struct Case {
    std::vector<std::string> args;
    const char* err;
  };
  const std::vector<Case> cases = {
      {{"upgrade", "--series", "P", "--ip", "127.0.0.2", "--dry-run"}, "--dry-run"},
      {{"upgrade", "--from", list, "--resume", temp.path() + "broken.json"}, "not a batch summary"},
      {{"upgrade", "--from", list, "--resume", temp.path() + "missing.json"}, "missing.json"},
      {{"history", "--since", "yesterday"}, "YYYY-MM-DD"},
      {{"status", "--ip", "127.0.0.2"}, "--series"},
      {{"status", "--from", temp.path() + "missing.csv"}, "cannot read"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv = {CAMLIFT_EXE};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    argv.insert(argv.end(), {"--data-dir", temp.path() + "data"});
    const TProcessResult run = RunProcess(argv, {{"XDG_CONFIG_HOME", temp.path() + "config"}});
    EXPECT_EQ(2, run.exit_code) << c.args[0] << " " << c.args.back() << "\n" << run.err;
    EXPECT_NE(std::string::npos, run.err.find(c.err)) << run.err;
  }
}

}  // namespace
}  // namespace camlift::test
