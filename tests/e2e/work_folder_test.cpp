// SPDX-License-Identifier: Apache-2.0
// Nothing outside, nothing lost: links planted in the place of the program's folders are never
// followed (byte-for-byte sentinels outside the work folder stay), what runs that died left
// behind is swept while a live run's files stay, the firmware cache keeps to its limit, a resumed
// batch knows what its summary was for, two cameras behind one address keep their own logs, and
// a refused account is said by the camera's status, also after its restart.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "e2e_site.h"
#include "support/raw_http_server.h"

namespace camlift::test {
namespace {

namespace fs = std::filesystem;
using sim::TCameraConfig;
using sim::TCameraFault;
using sim::TFirmwareKind;
using sim::TRepoFault;
using sim::TSimSeries;

const std::string kNoCamera =
    "IP Cam cannot be accessed, please check the device to make sure it work correctly.";
const std::string kRefused = "The camera refused the account or password.";

// Every file below folder with its bytes.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (item.is_regular_file()) files[item.path().string()] = ReadFile(item.path().string());
  }
  return files;
}

std::string CameraList(const std::vector<const sim::TSimCamera*>& cameras) {
  std::string text = "ip,port,series,user,password\n";
  for (const sim::TSimCamera* c : cameras) {
    text += c->config().ip + "," + std::to_string(c->http_port()) + "," +
            sim::SeriesText(c->config().series) + "," + c->config().user + "," +
            c->config().password + "\n";
  }
  return text;
}

class WorkFolder : public ::testing::Test {
 protected:
  WorkFolder() {
    site_.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "SIM100", "1.0.0.2");
  }
  sim::TSimCamera& Camera(std::set<TCameraFault> faults = {}, const std::string& ip = "") {
    TCameraConfig config;
    config.series = TSimSeries::P;
    config.faults = std::move(faults);
    if (!ip.empty()) config.ip = ip;
    return site_.AddCamera(config);
  }
  TProcessResult Batch(const std::string& list, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {
        "upgrade",    "--from",        list,           "--yes",
        "--data-dir", site_.DataDir(), "--repository", site_.RepositoryUrl()};
    args.insert(args.end(), extra.begin(), extra.end());
    return site_.Run(args);
  }

  TE2eSite site_;
};

// Links planted at Bin/, downloads/<camera>/, logs/, at the catalogue copy and the history lead
// out of the work folder; none is followed, the upgrades work, and everything outside stays as
// it was, byte for byte.
TEST_F(WorkFolder, LinksInThePlaceOfItsFoldersAndFilesAreNotFollowed) {
  site_.StartRepository();
  auto& camera = Camera();
  const std::string data = site_.DataDir();
  const std::string outside = site_.Root() + "outside/";
  const std::string tag = camera.config().ip + "-" + std::to_string(camera.http_port());
  for (const char* folder : {"bin", "downloads", "logs"}) {
    fs::create_directories(outside + folder);
    WriteFile(outside + folder + "/sentinel", std::string("outside ") + folder + "\n\x01\xff");
  }
  WriteFile(outside + "catalogue", "a file of the user's\n");
  WriteFile(outside + "history", "another file of the user's\n");
  fs::create_directories(data + "downloads");
  fs::create_directory_symlink(outside + "bin", data + "Bin");
  fs::create_directory_symlink(outside + "downloads", data + "downloads/" + tag);
  fs::create_directory_symlink(outside + "logs", data + "logs");
  fs::create_symlink(outside + "catalogue", data + "Firmware-" + tag + ".ini");
  fs::create_symlink(outside + "history", data + "history.jsonl");
  const auto before = Snapshot(outside);

  const std::string list = site_.Root() + "cameras.csv";
  WriteFile(list, CameraList({&camera}));
  TProcessResult run = Batch(list);
  EXPECT_EQ(0, run.exit_code) << run.out << run.err;
  EXPECT_EQ("1.0.0.2", camera.state().sys_version);
  for (const char* own : {"Bin", "logs"}) {
    EXPECT_FALSE(fs::is_symlink(data + own)) << own;
    EXPECT_TRUE(fs::is_directory(data + own)) << own;
  }
  EXPECT_FALSE(fs::is_symlink(data + "downloads/" + tag));

  // One camera alone, with a catalogue that is not there: the empty copy is made anew, not
  // written through a link at Firmware.ini.
  fs::create_symlink(outside + "catalogue", data + "Firmware.ini");
  site_.StartRepository({TRepoFault::Catalog404});
  run = site_.Upgrade(Camera());
  EXPECT_EQ(1, run.exit_code) << run.out;
  EXPECT_FALSE(fs::is_symlink(data + "Firmware.ini"));

  EXPECT_EQ(before, Snapshot(outside));
}

// Files of runs that died (a partial download, a staging folder, a catalogue part) go at the
// next run; the files of a run that still holds its lock stay.
TEST_F(WorkFolder, LeftoversOfRunsThatDiedAreSwept) {
  site_.StartRepository();
  const std::string data = site_.DataDir();
  const std::string dead = "0123456789abcdef";
  const std::string live = "00112233aabbccdd";
  WriteFile(data + ".run-" + dead, "");
  WriteFile(data + ".run-" + live, "");
  const int live_lock = ::open((data + ".run-" + live).c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(live_lock, 0);
  ASSERT_EQ(0, ::flock(live_lock, LOCK_EX | LOCK_NB));
  fs::create_directories(data + "Bin/.stage-" + dead + "-Qw3rTy");
  WriteFile(data + "Bin/.stage-" + dead + "-Qw3rTy/fw.bin", "half");
  WriteFile(data + ".download-" + dead + "-0", std::string(1 << 20, 'x'));
  WriteFile(data + ".catalogue-" + dead + "-1", "[SIM100]\r\n");
  WriteFile(data + ".download-" + live + "-0", "in progress");

  const TProcessResult run = site_.Upgrade(Camera());
  EXPECT_EQ(0, run.exit_code) << run.out;
  EXPECT_FALSE(fs::exists(data + "Bin/.stage-" + dead + "-Qw3rTy"));
  EXPECT_FALSE(fs::exists(data + ".download-" + dead + "-0"));
  EXPECT_FALSE(fs::exists(data + ".catalogue-" + dead + "-1"));
  EXPECT_FALSE(fs::exists(data + ".run-" + dead));
  EXPECT_EQ("in progress", ReadFile(data + ".download-" + live + "-0"));
  ::close(live_lock);
  // Nothing of the finished run is left, not even its lock.
  for (const auto& item : fs::directory_iterator(data)) {
    const std::string name = item.path().filename().string();
    EXPECT_TRUE(!name.starts_with(".") || name == ".run-" + live ||
                name == ".download-" + live + "-0")
        << name;
  }
}

// The cache keeps to cache_limit_mb: the least recently used firmware goes (never the one just
// verified), and "camlift cache" shows and clears it.
TEST_F(WorkFolder, TheCacheKeepsToItsLimit) {
  site_.StartRepository();
  site_.WriteOptions("[Global]\r\ncache_limit_mb=1\r\n");
  const std::string bin = site_.DataDir() + "Bin/";
  const std::string old_md5 = "0123456789abcdef0123456789abcdef";
  fs::create_directories(bin + old_md5);
  WriteFile(bin + old_md5 + "/old.bin", std::string(2 << 20, 'o'));
  WriteFile(bin + old_md5 + "/old.bin.verified", old_md5 + " 2097152\n");
  const timeval long_ago[2] = {{::time(nullptr) - 86400, 0}, {::time(nullptr) - 86400, 0}};
  ::utimes((bin + old_md5).c_str(), long_ago);

  TProcessResult run = site_.Upgrade(Camera());
  ASSERT_EQ(0, run.exit_code) << run.out;
  EXPECT_FALSE(fs::exists(bin + old_md5));

  run = site_.Run({"cache", "--data-dir", site_.DataDir(), "--json"});
  ASSERT_EQ(0, run.exit_code) << run.err;
  const nlohmann::json shown = nlohmann::json::parse(run.out);
  EXPECT_EQ(bin, shown["folder"].get<std::string>());
  EXPECT_EQ(1048576u, shown["limitBytes"].get<std::uint64_t>());
  ASSERT_EQ(1u, shown["entries"].size());
  EXPECT_EQ(std::vector<std::string>{"fw_P_sys_1.0.0.2.bin"},
            shown["entries"][0]["files"].get<std::vector<std::string>>());

  run = site_.Run({"cache", "--data-dir", site_.DataDir(), "--clear"});
  EXPECT_EQ(0, run.exit_code) << run.err;
  EXPECT_EQ(0u, run.out.rfind("removed ", 0)) << run.out;
  run = site_.Run({"cache", "--data-dir", site_.DataDir(), "--json"});
  EXPECT_TRUE(nlohmann::json::parse(run.out)["entries"].empty()) << run.out;
}

// The cache's file names are the entries of repository archives, which may hold DEL and C1
// controls (an 8-bit CSI): "camlift cache" shows them cleaned.
TEST_F(WorkFolder, TheCacheShowsArchiveNamesCleaned) {
  const std::string md5 = "0123456789abcdef0123456789abcdef";
  const std::string folder = site_.DataDir() + "Bin/" + md5 + "/";
  fs::create_directories(folder);
  WriteFile(folder + "fw.bin", "firmware");
  WriteFile(folder +
                "a\xC2\x9B"
                "2Jb\x7F.txt",
            "note");
  const TProcessResult run = site_.Run({"cache", "--data-dir", site_.DataDir()});
  ASSERT_EQ(0, run.exit_code) << run.err;
  EXPECT_NE(std::string::npos, run.out.find(md5 + "  a 2Jb .txt fw.bin\n")) << run.out;
  EXPECT_EQ(std::string::npos, run.out.find("\x7F"));
  EXPECT_EQ(std::string::npos, run.out.find("\xC2\x9B"));
}

// --resume skips cameras only for a batch of the same firmware kind from the same source; the
// summary says both, and any other summary is a usage error that touches no camera.
TEST_F(WorkFolder, ResumeKnowsWhatItsSummaryWasFor) {
  site_.StartRepository();
  auto& camera = Camera();
  const std::string list = site_.Root() + "cameras.csv";
  WriteFile(list, CameraList({&camera}));
  const std::string where = "\"ip\":\"" + camera.config().ip +
                            "\",\"port\":" + std::to_string(camera.http_port()) +
                            ",\"series\":\"P\",\"result\":\"ok\"";
  struct Row {
    const char* name;
    std::string summary;
    std::string error;
  };
  const Row rows[] = {
      {"summary of a UI batch",
       "[{" + where + ",\"kind\":\"ui\",\"repository\":\"" + site_.RepositoryUrl() + "\"}]",
       "it is the summary of a UI firmware batch, this run upgrades system firmware"},
      {"summary of another repository",
       "[{" + where + ",\"kind\":\"system\",\"repository\":\"http://other.example/FM/\"}]",
       "its cameras were upgraded from the repository http://other.example/FM/, this run uses "
       "the repository " +
           site_.RepositoryUrl()},
      {"summary of an older version", "[{" + where + "}]",
       "it does not say which firmware kind and repository its cameras were upgraded with"},
  };
  for (const Row& r : rows) {
    const std::string summary = site_.Root() + "earlier.json";
    WriteFile(summary, r.summary);
    const TProcessResult run = Batch(list, {"--resume", summary});
    EXPECT_EQ(2, run.exit_code) << r.name << run.out << run.err;
    EXPECT_NE(std::string::npos, run.err.find(r.error)) << r.name << ": " << run.err;
  }
  EXPECT_TRUE(site_.Uploads().empty());

  // The summary of a real run resumes that run.
  const std::string first = site_.Root() + "first.json";
  TProcessResult run = Batch(list, {"--summary-json", first});
  ASSERT_EQ(0, run.exit_code) << run.out;
  const nlohmann::json written = nlohmann::json::parse(ReadFile(first));
  EXPECT_EQ("system", written[0]["kind"].get<std::string>());
  EXPECT_EQ(site_.RepositoryUrl(), written[0]["repository"].get<std::string>());
  run = Batch(list, {"--resume", first});
  EXPECT_EQ(0, run.exit_code) << run.out << run.err;
  EXPECT_NE(std::string::npos,
            run.out.find("1 of 1 cameras were upgraded by the earlier run; 0 left"))
      << run.out;
  run = Batch(list, {"--resume", first, "--ui"});
  EXPECT_EQ(2, run.exit_code) << run.out;
  EXPECT_EQ(1u, site_.Uploads().size());
}

// Two cameras behind one address (port forwarding) each write their own batch log.
TEST_F(WorkFolder, TwoCamerasOnOneAddressKeepTheirOwnLogs) {
  site_.StartRepository();
  auto& first = Camera();
  auto& second = Camera({}, first.config().ip);
  const std::string list = site_.Root() + "cameras.csv";
  WriteFile(list, CameraList({&first, &second}));
  const TProcessResult run = Batch(list, {"--jobs", "2"});
  EXPECT_EQ(0, run.exit_code) << run.out;
  std::vector<std::string> logs;
  for (const auto& item : fs::directory_iterator(site_.DataDir() + "logs")) {
    logs.push_back(item.path().filename().string());
  }
  std::sort(logs.begin(), logs.end());
  ASSERT_EQ(2u, logs.size());
  for (const sim::TSimCamera* camera : {&first, &second}) {
    const std::string start = camera->config().ip + "-" + std::to_string(camera->http_port()) + "-";
    const auto log = std::find_if(logs.begin(), logs.end(),
                                  [&](const std::string& name) { return name.starts_with(start); });
    ASSERT_NE(logs.end(), log) << start;
    const std::string text = ReadFile(site_.DataDir() + "logs/" + *log);
    std::size_t done = 0;
    for (auto at = text.find("Successfully upgrade ROM"); at != std::string::npos;
         at = text.find("Successfully upgrade ROM", at + 1)) {
      ++done;
    }
    EXPECT_EQ(1u, done) << *log;
  }
}

// The camera's status says whether it refused the account, not the words of its page.
TEST_F(WorkFolder, ARefusedAccountIsToldByTheStatus) {
  site_.StartRepository();
  struct Row {
    const char* name;
    RawReply answer;
    std::vector<std::string> tail;
  };
  const Row rows[] = {
      {"401 in other words", HttpReply(401, "Unauthorized", "Go away.\n"), {kNoCamera, kRefused}},
      {"a page that says Unauthorized", HttpReply(200, "OK", "Unauthorized\n"), {kNoCamera}},
  };
  for (const Row& r : rows) {
    TRawHttpServer camera([&](const std::string&) { return r.answer; });
    const TProcessResult run = site_.Run(
        {"upgrade", "--series", "P", "--ip", "127.0.0.1", "--port", std::to_string(camera.port()),
         "--password", "x", "--data-dir", site_.DataDir(), "--repository", site_.RepositoryUrl()});
    EXPECT_EQ(1, run.exit_code) << r.name;
    const auto log = LogTexts(run.out);
    ASSERT_GE(log.size(), r.tail.size()) << r.name;
    EXPECT_EQ(r.tail,
              std::vector<std::string>(log.end() - static_cast<long>(r.tail.size()), log.end()))
        << r.name << run.out;
  }
}

// A camera that comes back from its restart but refuses the account is said to do so at once,
// not waited for until the limit and then reported as not answering. (This camera still shows
// its version without an account.)
TEST_F(WorkFolder, AnAccountRefusedAfterTheRestartIsSaid) {
  site_.StartRepository();
  auto& camera = Camera({TCameraFault::AccountReset});
  const TProcessResult run = site_.Upgrade(camera);
  EXPECT_EQ(0, run.exit_code) << run.out;
  const auto log = LogTexts(run.out);
  ASSERT_GE(log.size(), 3u) << run.out;
  EXPECT_EQ((std::vector<std::string>{"IP Cam is Working!", kRefused,
                                      "The camera now runs the version:1.0.0.2"}),
            std::vector<std::string>(log.end() - 3, log.end()));
  EXPECT_EQ(1, camera.state().upgrades);
}

}  // namespace
}  // namespace camlift::test
