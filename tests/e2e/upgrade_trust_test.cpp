// SPDX-License-Identifier: Apache-2.0
// What the upgrade path promises about trust, each through the real camlift program against the
// simulator: nothing unverified reaches a camera, nothing outside the work folder is touched,
// every camera gets the bytes that were verified for it, and the log says what really happened.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "ctp_camera.h"
#include "ctp_extension.h"
#include "e2e_site.h"
#include "fleet/history.h"
#include "repository/zip_extract.h"
#include "support/zip_builder.h"
#include "util/md5.h"

namespace camlift::test {
namespace {

namespace fs = std::filesystem;
using sim::TCameraConfig;
using sim::TCameraFault;
using sim::TFirmwareKind;
using sim::TSimSeries;

const char* const kDownloadErr = "Failed to get ROM for upgrading.";
const char* const kCancelled = "The upgrade was stopped by the user.";
const char* const kSentStopped =
    "The firmware was sent and the camera took it; it is restarting now. Only the wait for it was "
    "stopped.";
const char* const kHowToCheck = "Check its version in a few minutes: ";
const char* const kUpgraded =
    "Successfully upgrade ROM, it is going to reboot the device, please wait.....";
const char* const kNoConnect =
    "IP Cam cannot be accessed, please check the device to make sure it work correctly.";
const char* const kAccountRefused = "The camera refused the account or password.";

// The GET targets the repository was asked for.
std::vector<std::string> RepositoryTargets(const TE2eSite& site) {
  std::vector<std::string> targets;
  for (const auto& entry : site.Records()) {
    if (entry.value("role", "") == "repository") targets.push_back(entry["target"]);
  }
  return targets;
}

// The bytes of the firmware file inside an archive the repository tool made.
std::string FirmwareOf(const sim::TRepoAddResult& added, const std::string& scratch) {
  std::string error;
  if (!ExtractZipSafely(added.archive_path, scratch, error)) throw std::runtime_error(error);
  return ReadFile(scratch + "/" + added.entry_name);
}

void SetCatalogue(const sim::TRepoAddResult& added, const std::string& section,
                  const std::string& key, const std::string& value) {
  WriteFile(added.catalogue_path,
            sim::SetIniValue(ReadFile(added.catalogue_path), section, key, value));
}

// A catalogue file name that is anything but one plain name is refused before a byte is
// written: the user's files beside the work folder and the program's own files stay as they
// were, byte for byte, and the archive is never even asked for.
TEST(UpgradeTrust, HostileCatalogueFileNamesTouchNothing) {
  const std::string names[] = {
      "../victim.zip", "../../victim.zip", "sub/fw.zip",   "..\\victim.zip",
      "/tmp/fw.zip",   "fw\x01.zip",       "..",           ".hidden.zip",
      "option.ini",    "Firmware.ini",     "firmware.txt", "fw.bin.verified",
      "C:fw.zip",
  };
  TE2eSite site;
  TCameraConfig config;
  config.series = TSimSeries::P;
  auto& camera = site.AddCamera(config);
  const auto added =
      site.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "SIM100", "1.0.0.2");
  // Sentinels where a name used as a path would land.
  const std::map<std::string, std::string> sentinels = {
      {site.Root() + "victim.zip", "the user's own archive\n"},
      {site.Root() + "victim.bin", "the user's own firmware\n"},
      {site.DataDir() + "victim.bin", "a file in the work folder\n"},
      {site.DataDir() + "option.ini", "[Options]\r\nkept=1\r\n"},
      {site.DataDir() + "Bin/fw.bin.verified", "not a record\n"},
  };
  fs::create_directories(site.DataDir() + "Bin");
  for (const auto& [path, bytes] : sentinels) WriteFile(path, bytes);
  site.StartRepository();
  for (const std::string& name : names) {
    SetCatalogue(added, "SIM100", "SysFile", name);
    const TProcessResult run = site.Upgrade(camera);
    EXPECT_EQ(1, run.exit_code) << name << run.out << run.err;
    ASSERT_FALSE(LogTexts(run.out).empty()) << name;
    EXPECT_EQ(kDownloadErr, FailureLineOf(LogTexts(run.out))) << name;
    for (const auto& [path, bytes] : sentinels) {
      EXPECT_EQ(bytes, ReadFile(path)) << name << ": " << path;
    }
  }
  for (const std::string& target : RepositoryTargets(site)) {
    EXPECT_EQ("/FM/system/firmware.txt", target);
  }
  EXPECT_TRUE(site.Uploads().empty());
  // Nothing was fetched, so nothing was left in the download folder either; the record of the
  // runs is the only other file.
  for (const auto& item : fs::directory_iterator(site.DataDir())) {
    const std::string name = item.path().filename().string();
    EXPECT_TRUE(name == "Bin" || name == "Firmware.ini" || name == "option.ini" ||
                name == "victim.bin" || name == "history.jsonl")
        << name;
  }
}

// Unusual but plain archive names are fetched under their own name and upgrade the camera: a
// blank, URL characters, bytes that are not UTF-8, a long name.
TEST(UpgradeTrust, UnusualPlainArchiveNamesAreFetchedAsTheyAre) {
  const std::string names[] = {"a b.zip",
                               "fw#1.zip",
                               "fw%41.zip",
                               "fw?x=1.zip",
                               "fw\xff\xfe.zip",
                               "fw+&;=.zip",
                               std::string(200, 'n') + ".zip"};
  for (const std::string& name : names) {
    TE2eSite site;
    TCameraConfig config;
    config.series = TSimSeries::P;
    auto& camera = site.AddCamera(config);
    sim::TRepoAddOptions options;
    options.root = site.Root() + "repo/";
    options.folder = "system";
    options.section = "SIM100";
    options.kind = TFirmwareKind::System;
    options.series = TSimSeries::P;
    options.version = "1.0.0.2";
    options.archive_name = name;
    sim::TRepoAddResult added;
    std::string error;
    ASSERT_TRUE(sim::RepoAdd(options, added, error)) << error;
    site.StartRepository();
    const TProcessResult run = site.Upgrade(camera);
    EXPECT_EQ(0, run.exit_code) << name << run.out << run.err;
    ASSERT_EQ(1u, site.Uploads().size()) << name;
    EXPECT_EQ(Md5Hex(FirmwareOf(added, site.Root() + "scratch")),
              site.Uploads()[0]["upload"]["md5"])
        << name;
  }
}

// Files that stand where the program would put its own: a user's file in the work folder with
// the archive's name, and a symbolic link planted in the cache in place of the archive's folder
// (pointing at a folder of the user's that holds a file of the firmware's name). Each run
// upgrades the camera with the bytes of the repository and leaves the user's files as they were.
TEST(UpgradeTrust, FilesInThePlaceOfTheProgramsOwnStayUntouched) {
  const std::string rows[] = {"archive name in the work folder", "link in place of Bin/<md5>"};
  for (const std::string& row : rows) {
    TE2eSite site;
    TCameraConfig config;
    config.series = TSimSeries::P;
    auto& camera = site.AddCamera(config);
    const auto added =
        site.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "SIM100", "1.0.0.2");
    const std::string archive_name = fs::path(added.archive_path).filename().string();
    const std::string md5 = FileMd5Hex(added.archive_path).value_or("");
    std::map<std::string, std::string> sentinels;
    if (row == rows[0]) {
      sentinels[site.DataDir() + archive_name] = "the user's own archive\n";
    } else {
      const std::string outside = site.Root() + "users-folder/";
      fs::create_directories(outside);
      sentinels[outside + added.entry_name] = "the user's own firmware\n";
      sentinels[outside + added.entry_name + ".verified"] = md5 + " 24\n";
      fs::create_directories(site.DataDir() + "Bin");
      fs::create_directory_symlink(outside, site.DataDir() + "Bin/" + md5);
    }
    fs::create_directories(site.DataDir());
    for (const auto& [path, bytes] : sentinels) WriteFile(path, bytes);
    site.StartRepository();
    const TProcessResult run = site.Upgrade(camera, {"--yes"});
    EXPECT_EQ(0, run.exit_code) << row << run.out << run.err;
    for (const auto& [path, bytes] : sentinels) {
      EXPECT_EQ(bytes, ReadFile(path)) << row << ": " << path;
    }
    ASSERT_EQ(1u, site.Uploads().size()) << row;
    EXPECT_EQ(Md5Hex(FirmwareOf(added, site.Root() + "scratch")),
              site.Uploads()[0]["upload"]["md5"])
        << row;
  }
}

// A repository republishes an archive under the same name with a firmware of another name: the
// file of the same name from the earlier, verified run is never taken for it. The same holds for
// an archive given with --firmware.
TEST(UpgradeTrust, RepublishedArchiveWithoutTheExpectedFileIsRefused) {
  for (const bool local : {false, true}) {
    const std::string row = local ? "--firmware" : "repository";
    TE2eSite site;
    TCameraConfig config;
    config.series = TSimSeries::P;
    auto& camera = site.AddCamera(config);
    const auto added =
        site.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "SIM100", "1.0.0.2");
    site.StartRepository();
    std::vector<std::string> extra = {"--yes"};
    if (local) extra = {"--yes", "--firmware", added.archive_path};
    ASSERT_EQ(0, site.Upgrade(camera, extra).exit_code) << row;
    ASSERT_EQ(1u, site.Uploads().size()) << row;

    // The new archive of that name holds its firmware under another name.
    const std::string firmware = FirmwareOf(added, site.Root() + "scratch");
    ASSERT_TRUE(WriteZip(added.archive_path, {{"renamed.bin", firmware + "new build"}}));
    SetCatalogue(added, "SIM100", "MD5", FileMd5Hex(added.archive_path).value_or(""));
    const TProcessResult run = site.Upgrade(camera, extra);
    EXPECT_EQ(1, run.exit_code) << row << run.out;
    EXPECT_EQ(kDownloadErr, FailureLineOf(LogTexts(run.out))) << row;
    EXPECT_EQ(1u, site.Uploads().size()) << row << ": the old firmware went out again";
  }
}

// Two OEM folders publish an archive of the same name with different firmware; a batch run
// upgrades one camera of each at the same time, and each gets the firmware of its own folder.
TEST(UpgradeTrust, SameArchiveNameInTwoFoldersKeepsEachCamerasOwnFirmware) {
  TE2eSite site;
  const std::pair<std::string, std::string> folders[] = {{"alpha", "1.0.0.2"}, {"beta", "1.0.0.3"}};
  std::string list = "ip,port,series\n";
  std::vector<sim::TSimCamera*> cameras;
  for (const auto& [oem, version] : folders) {
    sim::TRepoAddOptions options;
    options.root = site.Root() + "repo/";
    options.folder = oem;
    options.section = "SIM100";
    options.kind = TFirmwareKind::Ui;
    options.series = TSimSeries::P;
    options.version = version;
    options.archive_name = "firmware.zip";
    sim::TRepoAddResult result;
    std::string error;
    ASSERT_TRUE(sim::RepoAdd(options, result, error)) << error;
    TCameraConfig config;
    config.series = TSimSeries::P;
    config.oem = oem;
    cameras.push_back(&site.AddCamera(config));
    list +=
        cameras.back()->config().ip + "," + std::to_string(cameras.back()->http_port()) + ",P\n";
  }
  site.StartRepository();
  WriteFile(site.Root() + "cameras.csv", list);
  const TProcessResult run =
      site.Run({"upgrade", "--from", site.Root() + "cameras.csv", "--ui", "--jobs", "2",
                "--repository", site.RepositoryUrl(), "--data-dir", site.DataDir()});
  EXPECT_EQ(0, run.exit_code) << run.out << run.err;
  EXPECT_EQ("1.0.0.2", cameras[0]->state().ui_version);
  EXPECT_EQ("1.0.0.3", cameras[1]->state().ui_version);
}

// Two programs upgrade at the same time from one work folder, each camera from its own OEM folder
// publishing an archive of the same name: each camera gets the firmware of its own folder, in
// every round.
TEST(UpgradeTrust, TwoProgramsOnOneWorkFolderKeepEachCamerasOwnFirmware) {
  TE2eSite site;
  const std::pair<std::string, std::string> folders[] = {{"alpha", "1.0.0.2"}, {"beta", "1.0.0.3"}};
  std::vector<sim::TSimCamera*> cameras;
  for (const auto& [oem, version] : folders) {
    sim::TRepoAddOptions options;
    options.root = site.Root() + "repo/";
    options.folder = oem;
    options.section = "SIM100";
    options.kind = TFirmwareKind::Ui;
    options.series = TSimSeries::P;
    options.version = version;
    options.archive_name = "firmware.zip";
    sim::TRepoAddResult result;
    std::string error;
    ASSERT_TRUE(sim::RepoAdd(options, result, error)) << error;
    TCameraConfig config;
    config.series = TSimSeries::P;
    config.oem = oem;
    cameras.push_back(&site.AddCamera(config));
  }
  site.StartRepository();
  for (int round = 0; round < 3; ++round) {
    TProcessResult runs[2];
    std::thread second([&] { runs[1] = site.Upgrade(*cameras[1], {"--ui", "--yes"}); });
    runs[0] = site.Upgrade(*cameras[0], {"--ui", "--yes"});
    second.join();
    for (const TProcessResult& run : runs) EXPECT_EQ(0, run.exit_code) << round << run.out;
    EXPECT_EQ("1.0.0.2", cameras[0]->state().ui_version) << round;
    EXPECT_EQ("1.0.0.3", cameras[1]->state().ui_version) << round;
  }
}

// --md5 holds for a raw firmware file as for an archive, and means nothing without --firmware.
TEST(UpgradeTrust, RawFirmwareFileIsCheckedAgainstMd5) {
  TE2eSite site;
  TCameraConfig config;
  config.series = TSimSeries::P;
  auto& camera = site.AddCamera(config);
  const auto added =
      site.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "SIM100", "1.0.0.2");
  const std::string raw = site.Root() + "raw.bin";
  WriteFile(raw, FirmwareOf(added, site.Root() + "scratch"));
  const std::string right = FileMd5Hex(raw).value_or("");
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    int uploads_after;
  };
  const Case cases[] = {
      {{"--firmware", raw, "--md5", "0123456789abcdef0123456789abcdef"}, 1, 0},
      {{"--md5", right}, 2, 0},
      {{"--firmware", raw, "--md5", "not-a-checksum"}, 2, 0},
      {{"--firmware", raw, "--md5", right}, 0, 1},
  };
  for (const Case& c : cases) {
    const TProcessResult run = site.Upgrade(camera, c.args);
    EXPECT_EQ(c.exit_code, run.exit_code) << c.args[1] << run.out << run.err;
    if (c.exit_code == 1) {
      EXPECT_EQ(kDownloadErr, FailureLineOf(LogTexts(run.out)));
    }
    EXPECT_EQ(static_cast<std::size_t>(c.uploads_after), site.Uploads().size()) << c.args[1];
  }
  // What went out is the checked copy kept in the cache, not the user's file, which may change
  // meanwhile; the user's file stays, and no copy of the run is left behind.
  ASSERT_EQ(1u, site.Uploads().size());
  EXPECT_NE(std::string::npos, site.Uploads()[0]["upload"]["part_headers"].get<std::string>().find(
                                   "filename=\"" + site.DataDir() + "Bin/" + right + "/raw.bin\""));
  EXPECT_EQ(right, FileMd5Hex(raw).value_or(""));
  for (const auto& item : fs::directory_iterator(site.DataDir())) {
    EXPECT_NE('.', item.path().filename().string().front()) << item.path();
  }
}

class KTrust : public ::testing::Test {
 protected:
  ~KTrust() override {
    for (auto& camera : cameras_) camera->Stop();
  }
  sim::TSimCamera& Camera(int reboot_ms = -1, int crowd = 0) {
    TCameraConfig config;
    config.series = TSimSeries::K;
    config.ip = site_.NextAddress();
    TE2eSite::GiveOwnIdentity(config);
    config.port = 0;
    config.reboot_ms = reboot_ms;
    config.ctp_search_crowd = crowd;
    cameras_.push_back(std::make_unique<sim::TSimCamera>(
        config, recorder_, std::vector<sim::TCameraExtensionFactory>{sim::MakeCtpCameraExtension}));
    cameras_.back()->Start();
    return *cameras_.back();
  }
  // The CTP requests the cameras received, from the record line first on, in the order they
  // were read.
  std::vector<std::string> CtpRequests(std::size_t first = 0) const {
    const auto entries = recorder_->Entries();
    return sim::CtpRequestLines(std::span(entries).subspan(std::min(first, entries.size())));
  }
  TE2eSite site_;
  std::shared_ptr<sim::TSimRecorder> recorder_ = std::make_shared<sim::TSimRecorder>();
  std::vector<std::unique_ptr<sim::TSimCamera>> cameras_;
};

// A K camera that takes longer to flash than the old two-minute CTP return check: it refuses
// every connection for over 400 simulated seconds' worth of the scale, then comes back.
TEST_F(KTrust, CameraThatRefusesConnectionsForAWhileIsWaitedFor) {
  auto& camera = Camera(250000);
  site_.AddFirmware(TSimSeries::K, TFirmwareKind::System, "system", "1.0.X.1", "1.0.2.1");
  site_.StartRepository();
  const TProcessResult run = site_.Upgrade(camera);
  EXPECT_EQ(0, run.exit_code) << run.out << run.err;
  const auto log = LogTexts(run.out);
  EXPECT_NE(log.end(), std::find(log.begin(), log.end(), kUpgraded)) << run.out;
  EXPECT_EQ("The camera now runs the version:1.0.2.1", log.back());
}

// Many other K cameras answer the CTP search before the target: its reply is still the one read.
TEST_F(KTrust, CtpSearchAnsweredByManyOthersFirst) {
  auto& camera = Camera(-1, 120);
  site_.AddFirmware(TSimSeries::K, TFirmwareKind::System, "system", "1.0.X.1", "1.0.2.1");
  site_.StartRepository();
  const TProcessResult run = site_.Upgrade(camera);
  EXPECT_EQ(0, run.exit_code) << run.out << run.err;
  const auto log = LogTexts(run.out);
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ("The version of present device rom is :1.0.0.1", log[1]);
}

// A stop at each phase of a K upgrade, sent as Ctrl+C when the camera's record shows the phase.
// What the camera received tells whether it was left in its upgrade mode.
TEST_F(KTrust, StopAtEachPhase) {
  const std::vector<std::string> kWholePackage = {
      "CMD cfgusr CTP/1.0", "CMD exit CTP/1.0", "CMD 10", "FILE 12", "DATA 1400",
      "DATA 1400",          "DATA 1296",        "MD5 16", "CMD 15"};
  struct Case {
    std::string name;
    // The CTP request after which the stop is sent; "": shortly after the catalogue was served,
    // while the archive's download stalls.
    std::string trigger;
    std::vector<std::string> requests;  // what the camera received
    std::vector<std::string> log_end;
  };
  const Case cases[] = {
      {"during the download", "", {}, {"Downloading rom for upgrading...", kCancelled}},
      // Once the camera has left its mode it waits for the package: the stop waits for it too.
      // Once the camera took it, the stop ends only the wait for its restart, and says so.
      {"between the sessions", "CMD exit CTP/1.0", kWholePackage, {kUpgraded, kSentStopped}},
      {"after the whole package", "CMD 15", kWholePackage, {kUpgraded, kSentStopped}},
  };
  site_.AddFirmware(TSimSeries::K, TFirmwareKind::System, "system", "1.0.X.1", "1.0.2.1");
  for (const Case& c : cases) {
    const std::size_t first = recorder_->Entries().size();
    const std::size_t first_served = site_.Records().size();
    // The download stalls half way: the stop has a window there.
    site_.StartRepository(c.trigger.empty() ? std::set<sim::TRepoFault>{sim::TRepoFault::Stall}
                                            : std::set<sim::TRepoFault>{});
    auto& camera = Camera();
    std::atomic<bool> done{false};
    std::thread stopper;
    const auto started = [&](int pid) {
      stopper = std::thread([&, pid] {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done && std::chrono::steady_clock::now() < limit) {
          bool seen = false;
          if (c.trigger.empty()) {
            const auto served = site_.Records();
            for (std::size_t i = first_served; i < served.size(); ++i) {
              seen |= served[i].value("target", "") == "/FM/system/firmware.txt";
            }
          } else {
            const auto entries = recorder_->Entries();
            for (std::size_t i = first; i < entries.size(); ++i) {
              seen |= entries[i].value("request", "") == c.trigger;
            }
          }
          if (seen) {
            // Into the stalled download (its stall time-out is 1.5 s at this scale).
            if (c.trigger.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(200));
            ::kill(pid, SIGINT);
            return;
          }
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
      });
    };
    // Slower than the other runs, so that the pauses between the sessions are wide enough for a
    // stop that arrives through a signal.
    const TProcessResult run =
        site_.Run(site_.UpgradeArgs(camera), "", {{"CAMLIFT_TIME_SCALE", "0.05"}}, started);
    done = true;
    stopper.join();
    EXPECT_EQ(1, run.exit_code) << c.name << run.out << run.err;
    auto log = LogTexts(run.out);
    const bool sent = c.log_end.back() == std::string(kSentStopped);
    if (sent) {
      // How to check it, and on record as sent: not as stopped.
      ASSERT_FALSE(log.empty()) << c.name;
      EXPECT_EQ(0u, log.back().find(kHowToCheck)) << c.name << run.out;
      log.pop_back();
      const auto history = ReadHistory(site_.DataDir() + "history.jsonl");
      ASSERT_FALSE(history.empty()) << c.name;
      EXPECT_EQ("sent, not confirmed", history.back().result) << c.name;
    }
    ASSERT_GE(log.size(), c.log_end.size()) << c.name;
    EXPECT_EQ(c.log_end,
              std::vector<std::string>(log.end() - static_cast<long>(c.log_end.size()), log.end()))
        << c.name << run.out;
    EXPECT_EQ(c.requests, CtpRequests(first)) << c.name;
  }
}

// The wrong account is told apart from a camera that does not answer, for every HTTP series.
TEST(UpgradeTrust, RefusedAccountIsSaid) {
  TE2eSite site;
  for (TSimSeries series : {TSimSeries::M, TSimSeries::P, TSimSeries::R}) {
    TCameraConfig config;
    config.series = series;
    config.password = "531642";
    auto& camera = site.AddCamera(config);
    std::vector<std::string> args = site.UpgradeArgs(camera);
    args[std::find(args.begin(), args.end(), "--password") - args.begin() + 1] = "wrong";
    const TProcessResult run = site.Run(args);
    EXPECT_EQ(1, run.exit_code);
    EXPECT_EQ((std::vector<std::string>{kNoConnect, kAccountRefused}), LogTexts(run.out))
        << sim::SeriesText(series);
  }
  EXPECT_TRUE(site.Uploads().empty());
}

// The password from a file, from the environment, or from stdin: never on the command line.
TEST(UpgradeTrust, PasswordOffTheCommandLine) {
  TE2eSite site;
  TCameraConfig config;
  config.series = TSimSeries::P;
  config.password = "531642";
  auto& camera = site.AddCamera(config);
  site.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "SIM100", "1.0.0.2");
  site.StartRepository();
  WriteFile(site.Root() + "password", "531642\r\nsecond line\n");
  WriteFile(site.Root() + "wrong", "000000\n");
  const std::vector<std::string> base = {"upgrade",
                                         "--series",
                                         "P",
                                         "--ip",
                                         " " + camera.config().ip + " ",
                                         "--port",
                                         std::to_string(camera.http_port()),
                                         "--repository",
                                         site.RepositoryUrl(),
                                         "--data-dir",
                                         site.DataDir(),
                                         "--yes"};
  struct Case {
    std::string name;
    std::vector<std::string> args;
    std::string stdin_text;
    std::map<std::string, std::string> env;
    int exit_code;
    std::string last;
  };
  const Case cases[] = {
      {"file", {"--password-file", site.Root() + "password"}, "", {}, 0, ""},
      {"environment", {}, "", {{"CAMLIFT_PASSWORD", "531642"}}, 0, ""},
      {"stdin", {"--password", "-"}, "531642\n", {}, 0, ""},
      {"wrong file", {"--password-file", site.Root() + "wrong"}, "", {}, 1, kAccountRefused},
      {"missing file", {"--password-file", site.Root() + "missing"}, "", {}, 2, ""},
      {"both", {"--password", "x", "--password-file", site.Root() + "password"}, "", {}, 2, ""},
      {"empty stdin", {"--password", "-"}, "", {}, 2, ""},
      {"password file is a folder", {"--password-file", site.Root()}, "", {}, 2, ""},
      // A device or a named pipe nobody writes to is refused at once, never waited on.
      {"password file without end", {"--password-file", "/dev/zero"}, "", {}, 2, ""},
      {"named pipe nobody writes to", {"--password-file", site.Root() + "fifo"}, "", {}, 2, ""},
      // A pipe that brings the password, as <(echo ...) does.
      {"named pipe with a writer", {"--password-file", site.Root() + "fed-fifo"}, "", {}, 0, ""},
  };
  ASSERT_EQ(0, ::mkfifo((site.Root() + "fifo").c_str(), 0600));
  ASSERT_EQ(0, ::mkfifo((site.Root() + "fed-fifo").c_str(), 0600));
  // Writes the password into fed-fifo once a reader has opened it, however long the cases before
  // that one take on a busy machine (the cases' end stops it).
  std::atomic<bool> cases_done{false};
  // Stops and joins the writer however the cases end.
  struct TFeederStop {
    std::atomic<bool>& done;
    std::thread& thread;
    ~TFeederStop() {
      done = true;
      if (thread.joinable()) thread.join();
    }
  };
  std::thread feeder([path = site.Root() + "fed-fifo", &cases_done] {
    while (!cases_done) {
      const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) {
        [[maybe_unused]] const ssize_t n = ::write(fd, "531642\n", 7);
        ::close(fd);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  TFeederStop feeder_stop{cases_done, feeder};
  for (const Case& c : cases) {
    std::vector<std::string> args = base;
    args.insert(args.end(), c.args.begin(), c.args.end());
    const TProcessResult run = site.Run(args, c.stdin_text, c.env);
    EXPECT_EQ(c.exit_code, run.exit_code) << c.name << run.out << run.err;
    if (!c.last.empty()) {
      EXPECT_EQ(c.last, FailureLineOf(LogTexts(run.out))) << c.name;
    }
    // The password is never said back, in the log or in an error.
    EXPECT_EQ(std::string::npos, (run.out + run.err).find("531642")) << c.name;
  }
  cases_done = true;
  if (feeder.joinable()) feeder.join();
  EXPECT_EQ(4u, site.Uploads().size());
}

// Ctrl+C while the password is typed at a terminal ends the program and gives the terminal its
// echo back: the user's next command is not typed blind.
TEST(UpgradeTrust, StopWhileThePasswordIsTypedKeepsTheTerminalsEcho) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(0, ::grantpt(master));
  ASSERT_EQ(0, ::unlockpt(master));
  const std::string slave_name = ::ptsname(master);
  const int slave = ::open(slave_name.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  termios before{};
  ASSERT_EQ(0, ::tcgetattr(slave, &before));
  ASSERT_TRUE(before.c_lflag & ECHO);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::setsid();
    ::dup2(slave, 0);
    ::dup2(slave, 1);
    ::dup2(slave, 2);
    ::execl(CAMLIFT_EXE, CAMLIFT_EXE, "upgrade", "--series", "P", "--ip", "127.0.0.1", "--password",
            "-", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Wait for the prompt, then for echo to go off.
  std::string seen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  termios during{};
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 50) > 0) {
      char buffer[256];
      const ssize_t n = ::read(master, buffer, sizeof buffer);
      if (n > 0) seen.append(buffer, static_cast<std::size_t>(n));
    }
    ::tcgetattr(slave, &during);
    if (seen.find("Password:") != std::string::npos && !(during.c_lflag & ECHO)) break;
  }
  EXPECT_FALSE(during.c_lflag & ECHO) << seen;
  ::kill(child, SIGINT);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  termios after{};
  ASSERT_EQ(0, ::tcgetattr(slave, &after));
  EXPECT_TRUE(after.c_lflag & ECHO);
  ::close(slave);
  ::close(master);
}

// After the restart a camera whose version pages do not answer is not said to run the old one.
TEST(UpgradeTrust, UnreadableVersionAfterTheRestartIsSaidAsSuch) {
  for (TSimSeries series : {TSimSeries::M, TSimSeries::P}) {
    TE2eSite site;
    TCameraConfig config;
    config.series = series;
    config.faults = {TCameraFault::VersionUnreadable};
    auto& camera = site.AddCamera(config);
    site.AddFirmware(series, TFirmwareKind::System, "system",
                     series == TSimSeries::M ? "1.0.0" : "SIM100", "1.0.0.2");
    site.StartRepository();
    const TProcessResult run = site.Upgrade(camera);
    EXPECT_EQ(0, run.exit_code) << run.out;
    EXPECT_EQ("The camera answers again, but its version could not be read.",
              LogTexts(run.out).back());
  }
}

TEST(UpgradeTrust, UsageErrorsOfTheUpgradeCommand) {
  TE2eSite site;
  for (const char* port : {"0", "65536", "-1"}) {
    EXPECT_EQ(2,
              site.Run({"upgrade", "--series", "P", "--ip", "127.0.0.1", "--port", port}).exit_code)
        << port;
  }
  // Wrong JSON types in a list are a usage error with the line, like every other list error.
  WriteFile(site.Root() + "list.json",
            "{\"ip\":\"127.0.0.2\",\"port\":81,\"series\":\"P\"}\n"
            "{\"ip\":\"127.0.0.3\",\"port\":\"81\",\"series\":\"P\"}\n"
            "{\"ip\":7,\"series\":\"P\"}\n");
  const TProcessResult run = site.Run({"upgrade", "--from", site.Root() + "list.json"});
  EXPECT_EQ(2, run.exit_code) << run.err;
  EXPECT_NE(std::string::npos, run.err.find("line 2: a field of the wrong type")) << run.err;
  EXPECT_NE(std::string::npos, run.err.find("line 3: a field of the wrong type")) << run.err;
}

}  // namespace
}  // namespace camlift::test
