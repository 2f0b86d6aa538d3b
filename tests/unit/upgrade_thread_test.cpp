// SPDX-License-Identifier: Apache-2.0
#include "upgrade/upgrade_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "i18n/str_res.h"
#include "i18n/str_resource.h"
#include "platform/timing.h"
#include "repository/firmware_cache.h"
#include "support/fake_sleep_inhibitor.h"
#include "support/temp_folder.h"
#include "upgrade/keep_awake.h"
#include "util/md5.h"
#include "util/tools.h"

namespace camlift {
namespace {

// A camera and repository in a box: each step answers from the script.
struct TScript {
  std::deque<bool> oem = {true};  // answers of ReadOem in turn; the last one repeats
  bool version_ok = true;
  std::string current = "1.0.0.1";
  std::string after = "1.0.0.2";  // what the camera reports once it is back
  int version_reads = 0;
  std::string latest = "1.0.0.2";
  std::string excluded;
  bool upload_ok = true;
  std::string upload_message = "upload refused";
  bool throw_in_version = false;
  int oem_calls = 0;
  bool account_refused = false;            // a failing ReadOem saw the camera refuse the account
  std::function<void()> during_catalogue;  // runs inside ReadLatestVersion
  std::function<void()> during_upload;     // runs inside Upload
};

class TScriptedUpgrader : public TSysUpgradeObject {
 public:
  explicit TScriptedUpgrader(TScript& script) : s_(script) {}
  bool ReadOem() override {
    ++s_.oem_calls;
    const bool answer = s_.oem.front();
    if (s_.oem.size() > 1) s_.oem.pop_front();
    account_refused_ = !answer && s_.account_refused;
    return answer;
  }
  bool ReadCurrentVersion() override {
    if (s_.throw_in_version) throw std::runtime_error("boom");
    current_version_ = s_.version_reads++ == 0 ? s_.current : s_.after;
    return s_.version_ok;
  }
  void ReadLatestVersion(std::string& checksum, std::string& excluded,
                         std::string& latest) override {
    if (s_.during_catalogue) s_.during_catalogue();
    checksum = "0123456789abcdef0123456789abcdef";
    excluded = s_.excluded;
    latest = s_.latest;
    repository_file_ = "fw.zip";
  }
  bool Upload(std::string& message) override {
    if (s_.during_upload) s_.during_upload();
    message = s_.upload_message;
    return s_.upload_ok;
  }

 private:
  TScript& s_;
};

class TRecordingObserver : public IUpgradeObserver {
 public:
  void OnLog(const std::string& text) override { lines.push_back(text); }
  bool AskYesNo(TQuestion question, const std::string& text, const std::string&) override {
    ++questions;
    asked.push_back(question);
    texts.push_back(text);
    return answer;
  }
  void OnProgress(TProgressStage stage, std::int64_t done, std::int64_t total) override {
    progress.push_back({stage, done, total});
  }
  void OnUploadAccepted(const TUpgradeResult& so_far) override {
    accepted.push_back(so_far.status);
    lines_when_accepted = lines.size();
    if (on_accepted) on_accepted();
  }
  std::function<void()> on_accepted;
  struct TReport {
    TProgressStage stage;
    std::int64_t done;
    std::int64_t total;
  };
  std::vector<std::string> lines;
  std::vector<TQuestion> asked;
  std::vector<std::string> texts;
  std::vector<TReport> progress;
  std::vector<TUpgradeStatus> accepted;
  std::size_t lines_when_accepted = 0;
  int questions = 0;
  bool answer = false;
};

class UpgradeThreadFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTimeScaleForTesting(0.001);
    SetLanguage("en");
    // A firmware verified by an earlier run: the download step needs no network.
    TTools::ForceDirs(temp_.path() + "Bin/0123456789abcdef0123456789abcdef");
    test::WriteFile(temp_.path() + "Bin/0123456789abcdef0123456789abcdef/fw.bin", "firmware");
    TFirmwareCache(temp_.path() + "Bin/").Record("0123456789abcdef0123456789abcdef", "fw.bin");
  }
  void TearDown() override { SetTimeScaleForTesting(-1); }

  TUpgradeResult Run(std::function<void(TUpgradeThread&)> during = nullptr) {
    auto upgrader = std::make_unique<TScriptedUpgrader>(script_);
    upgrader->SetWorkFolder(temp_.path());
    upgrader->SetRepositoryUrl("http://127.0.0.1:1/FM/");
    TUpgradeThread worker(std::move(upgrader), "", "", ui_, observer_);
    if (during) during(worker);
    return worker.Execute();
  }

  TfrmStrRes store_;
  test::TTempFolder temp_;
  TInlineDispatcher ui_;
  TRecordingObserver observer_;
  TScript script_;
};

TEST_F(UpgradeThreadFixture, SuccessfulRunLogsEveryStage) {
  script_.oem = {true, false, false, true};
  const TUpgradeResult result = Run();
  EXPECT_EQ(TUpgradeStatus::Working, result.status);
  const std::vector<std::string> expected = {
      "Device connected normally",
      "The version of present device rom is :1.0.0.1",
      "The version of latest  device rom is :1.0.0.2",
      "Downloading rom for upgrading...",
      "Begin to upgrade device''s rom, please hold the connection of the device normally.",
      "Successfully upgrade ROM, it is going to reboot the device, please wait.....",
      "IP Cam is Working!",
      "The camera now runs the version:1.0.0.2"};
  EXPECT_EQ(expected, observer_.lines);
  EXPECT_EQ(4, script_.oem_calls);
  EXPECT_EQ(0, observer_.questions);
  EXPECT_EQ("Device connected normally", observer_.lines[0]);
}

TEST_F(UpgradeThreadFixture, FailingStepsWriteExactlyOneLine) {
  struct Case {
    std::function<void(TScript&)> setup;
    std::string last;
    std::size_t lines;
  };
  const Case cases[] = {
      {[](TScript& s) { s.oem = {false}; },
       "IP Cam cannot be accessed, please check the device to make sure it work correctly.", 1},
      {[](TScript& s) { s.version_ok = false; }, "Failed on reading present version information.",
       2},
      {[](TScript& s) { s.latest = ""; }, "Failed to read version information of the latest rom.",
       3},
      {[](TScript& s) { s.excluded = "1.2.3,1.0.0.1"; },
       "The version for upgrading is no available.", 4},
      {[](TScript& s) {
         s.excluded = "1.2.3,1.2.4";
         s.current = "2.3";
         s.latest = "2.4.0.1";
       },
       "The version for upgrading is no available.", 4},
      {[](TScript& s) { s.upload_ok = false; }, "upload refused", 6},
      {[](TScript& s) { s.throw_in_version = true; }, "Unexpected error:boom", 2},
  };
  for (const Case& c : cases) {
    script_ = TScript{};
    observer_.lines.clear();
    c.setup(script_);
    const TUpgradeResult result = Run();
    EXPECT_EQ(TUpgradeStatus::Failed, result.status) << c.last;
    ASSERT_EQ(c.lines, observer_.lines.size()) << c.last;
    EXPECT_EQ(c.last, observer_.lines.back());
  }
}

TEST_F(UpgradeThreadFixture, SameVersionAsksAndNoEndsTheRun) {
  script_.latest = "1.0.0.1 ";
  observer_.answer = false;
  EXPECT_EQ(TUpgradeStatus::NotNeeded, Run().status);
  EXPECT_EQ(1, observer_.questions);
  EXPECT_EQ("It is the latest one, there is no need to upgrade !", observer_.lines.back());

  observer_.lines.clear();
  script_ = TScript{};
  script_.latest = "1.0.0.1";
  script_.after = "1.0.0.1";
  observer_.answer = true;
  EXPECT_EQ(TUpgradeStatus::Working, Run().status);
  EXPECT_EQ(2, observer_.questions);
  EXPECT_EQ("The camera now runs the version:1.0.0.1", observer_.lines.back());
}

TEST_F(UpgradeThreadFixture, ALeadingVIsADifferentVersion) {
  script_.latest = "V1.0.0.1";
  script_.after = "V1.0.0.1";
  EXPECT_EQ(TUpgradeStatus::Working, Run().status);
  EXPECT_EQ(0, observer_.questions);
}

TEST_F(UpgradeThreadFixture, CameraBackWithTheOldVersionIsReported) {
  script_.after = "1.0.0.1";
  EXPECT_EQ(TUpgradeStatus::VersionUnchanged, Run().status);
  EXPECT_EQ("IP Cam is Working!", observer_.lines[observer_.lines.size() - 2]);
  EXPECT_EQ("The camera still reports the version:1.0.0.1", observer_.lines.back());
}

TEST_F(UpgradeThreadFixture, EndingsThatSayWhatHappened) {
  struct Case {
    const char* name;
    std::function<void(TScript&)> setup;
    TUpgradeStatus status;
    std::vector<std::string> log_end;
  };
  const std::vector<Case> cases = {
      {"account refused",
       [](TScript& s) {
         s.oem = {false};
         s.account_refused = true;
       },
       TUpgradeStatus::Failed,
       {"IP Cam cannot be accessed, please check the device to make sure it work correctly.",
        "The camera refused the account or password."}},
      {"no answer at all",
       [](TScript& s) { s.oem = {false}; },
       TUpgradeStatus::Failed,
       {"IP Cam cannot be accessed, please check the device to make sure it work correctly."}},
      {"version unreadable after the restart",
       [](TScript& s) { s.after = ""; },
       TUpgradeStatus::Working,
       {"IP Cam is Working!", "The camera answers again, but its version could not be read."}},
  };
  for (const Case& c : cases) {
    script_ = TScript{};
    c.setup(script_);
    observer_.lines.clear();
    EXPECT_EQ(c.status, Run().status) << c.name;
    ASSERT_GE(observer_.lines.size(), c.log_end.size()) << c.name;
    EXPECT_EQ(c.log_end, std::vector<std::string>(observer_.lines.end() - c.log_end.size(),
                                                  observer_.lines.end()))
        << c.name;
    if (c.log_end.size() == 1) {
      EXPECT_EQ(1u, observer_.lines.size()) << c.name;
    }
  }
}

// The computer is kept awake from right before the upload on, and only by a run that gets there.
TEST_F(UpgradeThreadFixture, SleepLockIsAskedForRightBeforeTheUpload) {
  struct Case {
    const char* name;
    std::function<void(TScript&)> setup;
    std::string refusal;  // of the login manager
    TUpgradeStatus status;
    bool asked;
  };
  const std::vector<Case> cases = {
      {"camera unreachable", [](TScript& s) { s.oem = {false}; }, "", TUpgradeStatus::Failed,
       false},
      {"no catalogue version", [](TScript& s) { s.latest = ""; }, "", TUpgradeStatus::Failed,
       false},
      {"same version, No", [](TScript& s) { s.latest = "1.0.0.1"; }, "", TUpgradeStatus::NotNeeded,
       false},
      {"upload refused", [](TScript& s) { s.upload_ok = false; }, "", TUpgradeStatus::Failed, true},
      {"upgraded", [](TScript&) {}, "", TUpgradeStatus::Working, true},
      {"no login manager", [](TScript&) {}, "no system bus: No such file or directory",
       TUpgradeStatus::Working, true},
  };
  for (const Case& c : cases) {
    script_ = TScript{};
    c.setup(script_);
    observer_.lines.clear();
    test::TFakeSleepInhibitor logind(c.refusal);
    TKeepAwake keep_awake(1, &logind);
    bool held_in_upload = false;
    std::size_t lines_before_upload = 0;
    script_.during_upload = [&] {
      held_in_upload = keep_awake.Held();
      lines_before_upload = observer_.lines.size();
    };
    auto upgrader = std::make_unique<TScriptedUpgrader>(script_);
    upgrader->SetWorkFolder(temp_.path());
    upgrader->SetRepositoryUrl("http://127.0.0.1:1/FM/");
    TUpgradeThread worker(std::move(upgrader), "", "", ui_, observer_);
    TUpgradeOptions options;
    options.keep_awake = &keep_awake;
    worker.SetOptions(options);
    EXPECT_EQ(c.status, worker.Execute().status) << c.name;
    EXPECT_EQ(c.asked ? 1u : 0u, logind.requests().size()) << c.name;
    if (!c.asked) continue;
    EXPECT_EQ(c.refusal.empty(), held_in_upload) << c.name;
    // The lines up to the upload: the download, the refusal when there is one, the upload's.
    std::vector<std::string> expected = {"Downloading rom for upgrading..."};
    if (!c.refusal.empty()) {
      expected.push_back(
          "The computer could not be kept from going to sleep during the upgrade; keep it awake "
          "until the upgrade has ended:" +
          c.refusal);
    }
    expected.push_back(
        "Begin to upgrade device''s rom, please hold the connection of the device normally.");
    ASSERT_GE(lines_before_upload, expected.size()) << c.name;
    EXPECT_EQ(expected,
              std::vector<std::string>(
                  observer_.lines.begin() +
                      static_cast<std::ptrdiff_t>(lines_before_upload - expected.size()),
                  observer_.lines.begin() + static_cast<std::ptrdiff_t>(lines_before_upload)))
        << c.name;
  }
}

TEST_F(UpgradeThreadFixture, StopDuringTheCatalogueFetchIsOnlyAStop) {
  TUpgradeThread* running = nullptr;
  script_.during_catalogue = [&] { running->RequestCancel(); };
  script_.latest = "";  // the fetch was cut short
  const TUpgradeResult result = Run([&](TUpgradeThread& worker) { running = &worker; });
  EXPECT_EQ(TUpgradeStatus::Cancelled, result.status);
  EXPECT_EQ("The upgrade was stopped by the user.", observer_.lines.back());
  EXPECT_EQ("The version of present device rom is :1.0.0.1",
            observer_.lines[observer_.lines.size() - 2]);
}

// The stop of whoever runs the worker (a batch, the command line's Ctrl+C) is obeyed directly,
// by the worker between its steps and by the upgrader in its own waits.
TEST_F(UpgradeThreadFixture, CallersStopIsObeyedWithoutRequestCancel) {
  std::atomic<bool> caller{false};
  auto upgrader = std::make_unique<TScriptedUpgrader>(script_);
  upgrader->SetWorkFolder(temp_.path());
  upgrader->SetRepositoryUrl("http://127.0.0.1:1/FM/");
  TUpgradeThread worker(std::move(upgrader), "", "", ui_, observer_, &caller);
  bool upgrader_saw_it = false;
  script_.during_catalogue = [&] {
    caller = true;
    upgrader_saw_it = worker.Upgrader().Control().Cancelled();
  };
  EXPECT_EQ(TUpgradeStatus::Cancelled, worker.Execute().status);
  EXPECT_TRUE(upgrader_saw_it);
  EXPECT_EQ("The upgrade was stopped by the user.", observer_.lines.back());
  EXPECT_EQ("The version of present device rom is :1.0.0.1",
            observer_.lines[observer_.lines.size() - 2]);
}

TEST_F(UpgradeThreadFixture, LocalFirmwareSkipsTheCatalogue) {
  const std::string firmware = "BNEG firmware" + std::string(1011, 'x');
  test::WriteFile(temp_.path() + "local.bin", firmware);
  auto upgrader = std::make_unique<TScriptedUpgrader>(script_);
  upgrader->SetWorkFolder(temp_.path());
  TUpgradeThread worker(std::move(upgrader), "", "", ui_, observer_);
  observer_.answer = true;  // Yes to sending the file
  TUpgradeOptions options;
  options.local_firmware = temp_.path() + "local.bin";
  worker.SetOptions(options);
  EXPECT_EQ(TUpgradeStatus::Working, worker.Execute().status);
  EXPECT_EQ("Upgrading with the firmware file:" + temp_.path() + "local.bin", observer_.lines[2]);
  // The checked copy in the cache goes out, not the user's file, which may change meanwhile.
  EXPECT_EQ(temp_.path() + "Bin/" + Md5Hex(firmware) + "/local.bin",
            worker.Upgrader().LocalFilePath());
  EXPECT_EQ(firmware, test::ReadFile(worker.Upgrader().LocalFilePath()));
  EXPECT_EQ("The camera now runs the version:1.0.0.2", observer_.lines.back());
  // Asked once, naming the file, its size and the camera, before anything was sent.
  EXPECT_EQ(std::vector<TQuestion>{TQuestion::LocalFile}, observer_.asked);
  EXPECT_EQ(
      "Send the file local.bin (1024 bytes) to the camera 192.168.1.126:81, which runs the "
      "version 1.0.0.1?",
      observer_.texts.at(0));

  observer_.lines.clear();
  auto missing = std::make_unique<TScriptedUpgrader>(script_);
  missing->SetWorkFolder(temp_.path());
  TUpgradeThread second(std::move(missing), "", "", ui_, observer_);
  options.local_firmware = temp_.path() + "missing.bin";
  second.SetOptions(options);
  EXPECT_EQ(TUpgradeStatus::Failed, second.Execute().status);
  const std::vector<std::string> end = {
      "Failed to get ROM for upgrading.",
      "The firmware file cannot be read: " + temp_.path() + "missing.bin",
      "Nothing was sent to the camera."};
  EXPECT_EQ(end, std::vector<std::string>(observer_.lines.end() - 3, observer_.lines.end()));
}

TEST_F(UpgradeThreadFixture, CameraThatNeverReturnsEndsWithinTheLimit) {
  script_.oem = {true, false};
  const TUpgradeResult result = Run();
  EXPECT_EQ(TUpgradeStatus::NotReturned, result.status);
  EXPECT_EQ("The camera did not answer again after the upgrade. Please check the camera.",
            observer_.lines.back());
  EXPECT_GT(script_.oem_calls, 2);
}

TEST_F(UpgradeThreadFixture, UnverifiedFirmwareIsNeverUploaded) {
  // The record names another archive: the file is fetched again, and the fetch fails here.
  test::WriteFile(temp_.path() + "Bin/0123456789abcdef0123456789abcdef/fw.bin.verified",
                  "ffffffffffffffffffffffffffffffff 8\n");
  script_.upload_message = "must not be reached";
  const TUpgradeResult result = Run();
  EXPECT_EQ(TUpgradeStatus::Failed, result.status);
  EXPECT_EQ("Failed to get ROM for upgrading.", observer_.lines.at(observer_.lines.size() - 2));
  EXPECT_EQ(0u, observer_.lines.back().find("The download failed ("));
}

TEST_F(UpgradeThreadFixture, MissingRepositorySaysSo) {
  auto upgrader = std::make_unique<TScriptedUpgrader>(script_);
  upgrader->SetWorkFolder(temp_.path());
  TUpgradeThread worker(std::move(upgrader), "", "", ui_, observer_);
  EXPECT_EQ(TUpgradeStatus::Failed, worker.Execute().status);
  EXPECT_EQ(
      "No firmware repository address is configured. Pass --repository or set a repository address "
      "in the options.",
      observer_.lines.back());
  EXPECT_FALSE(observer_.lines.back().empty());
}

TEST_F(UpgradeThreadFixture, StopRequestEndsTheRunBetweenSteps) {
  script_.oem = {true, false};
  const TUpgradeResult result = Run([](TUpgradeThread& worker) { worker.RequestCancel(); });
  EXPECT_EQ(TUpgradeStatus::Cancelled, result.status);
  EXPECT_EQ("The upgrade was stopped by the user.", observer_.lines.back());
}

TEST_F(UpgradeThreadFixture, ThreadedRunDeliversOnTheUiThread) {
  script_.oem = {true};
  TLoopDispatcher ui;
  auto upgrader = std::make_unique<TScriptedUpgrader>(script_);
  upgrader->SetWorkFolder(temp_.path());
  upgrader->SetRepositoryUrl("http://127.0.0.1:1/FM/");
  struct TDone : TRecordingObserver {
    void OnDone(const TUpgradeResult& r) override { status = r.status, done = true; }
    bool done = false;
    TUpgradeStatus status{};
    std::thread::id thread;
    void OnLog(const std::string& text) override {
      thread = std::this_thread::get_id();
      TRecordingObserver::OnLog(text);
    }
  } observer;
  TUpgradeThread worker(std::move(upgrader), "", "", ui, observer);
  worker.Start();
  ui.RunUntil([&] { return observer.done; });
  worker.Join();
  EXPECT_EQ(TUpgradeStatus::Working, observer.status);
  EXPECT_EQ(std::this_thread::get_id(), observer.thread);
  EXPECT_EQ(8u, observer.lines.size());
}

// A file that is no firmware is refused before it is kept or sent; No to the question sends
// nothing either.
TEST_F(UpgradeThreadFixture, LocalFileRefusedOrDeclinedSendsNothing) {
  struct Case {
    const char* name;
    std::string bytes;
    bool answer;
    TUpgradeStatus status;
    std::string reason;
  };
  const Case cases[] = {
      {"typed-note", "notes\n", true, TUpgradeStatus::Failed,
       "The file is not a firmware: it holds 6 bytes, and a firmware has at least 1024."},
      {"declined", std::string(2048, 'f'), false, TUpgradeStatus::NotNeeded, ""},
  };
  for (const Case& c : cases) {
    test::WriteFile(temp_.path() + "notes.txt", c.bytes);
    script_ = TScript{};
    observer_ = TRecordingObserver{};
    observer_.answer = c.answer;
    auto upgrader = std::make_unique<TScriptedUpgrader>(script_);
    upgrader->SetWorkFolder(temp_.path() + c.name);
    TUpgradeThread worker(std::move(upgrader), "", "", ui_, observer_);
    TUpgradeOptions options;
    options.local_firmware = temp_.path() + "notes.txt";
    worker.SetOptions(options);
    EXPECT_EQ(c.status, worker.Execute().status) << c.name;
    EXPECT_EQ("Nothing was sent to the camera.", observer_.lines.back()) << c.name;
    EXPECT_TRUE(observer_.accepted.empty()) << c.name;  // no upload
    if (!c.reason.empty()) {
      EXPECT_EQ(c.reason, observer_.lines.at(observer_.lines.size() - 2)) << c.name;
      EXPECT_TRUE(observer_.asked.empty()) << c.name;
      // Nothing of it entered the verified cache.
      EXPECT_FALSE(std::filesystem::exists(temp_.path() + c.name + "/Bin/" + Md5Hex(c.bytes)))
          << c.name;
    }
  }
}

// (camera version, catalogue version) -> what the run asks and how it ends.
TEST_F(UpgradeThreadFixture, VersionDecisionTable) {
  struct Case {
    const char* current;
    const char* latest;
    bool answer;
    std::vector<TQuestion> asked;
    TUpgradeStatus status;
    const char* last;  // the last log line, or "" for a run that upgraded
  };
  const Case cases[] = {
      {"1.0.0.1", "1.0.0.2", false, {}, TUpgradeStatus::Working, ""},
      {"10.0.0.9", "10.0.0.10", false, {}, TUpgradeStatus::Working, ""},
      {"1.0.0.1",
       "1.0.0.1",
       false,
       {TQuestion::SameVersion},
       TUpgradeStatus::NotNeeded,
       "It is the latest one, there is no need to upgrade !"},
      {"2.0.0.5",
       "2.0.0.1",
       false,
       {TQuestion::Downgrade},
       TUpgradeStatus::NotNeeded,
       "The camera keeps its newer version 2.0.0.5; the older version 2.0.0.1 was not "
       "installed."},
      {"2.0.0.5", "2.0.0.1", true, {TQuestion::Downgrade}, TUpgradeStatus::Working, ""},
      {"10.0.0.10",
       "10.0.0.9",
       false,
       {TQuestion::Downgrade},
       TUpgradeStatus::NotNeeded,
       "The camera keeps its newer version 10.0.0.10; the older version 10.0.0.9 was not "
       "installed."},
  };
  for (const Case& c : cases) {
    script_ = TScript{};
    script_.current = c.current;
    script_.latest = c.latest;
    script_.after = c.latest;
    observer_ = TRecordingObserver{};
    observer_.answer = c.answer;
    const std::string name = std::string(c.current) + " -> " + c.latest;
    EXPECT_EQ(c.status, Run().status) << name;
    EXPECT_EQ(c.asked, observer_.asked) << name;
    if (*c.last) {
      EXPECT_EQ(c.last, observer_.lines.back()) << name;
    }
    if (!c.asked.empty() && c.asked[0] == TQuestion::Downgrade) {
      EXPECT_EQ("The camera runs the version " + std::string(c.current) +
                    ", which is newer than the repository's version " + c.latest +
                    ". Do you really want to install the older version " + c.latest + "?",
                observer_.texts.at(0))
          << name;
    }
  }
}

// Cancel before the camera took the firmware stops the run; after it, only the wait: the camera
// restarts with the new firmware, and the run says so, and how to check it.
TEST_F(UpgradeThreadFixture, CancelBeforeAndAfterTheAcceptedUpload) {
  TUpgradeThread* running = nullptr;
  script_.during_catalogue = [&] { running->RequestCancel(); };
  EXPECT_EQ(TUpgradeStatus::Cancelled,
            Run([&](TUpgradeThread& worker) { running = &worker; }).status);
  EXPECT_EQ("The upgrade was stopped by the user.", observer_.lines.back());
  EXPECT_TRUE(observer_.accepted.empty());

  script_ = TScript{};
  script_.oem = {true, false};  // restarting: no answer
  observer_ = TRecordingObserver{};
  observer_.on_accepted = [&] { running->RequestCancel(); };
  const TUpgradeResult result = Run([&](TUpgradeThread& worker) { running = &worker; });
  EXPECT_EQ(TUpgradeStatus::SentUnconfirmed, result.status);
  EXPECT_TRUE(result.upload_accepted);
  EXPECT_EQ(std::vector<TUpgradeStatus>{TUpgradeStatus::SentUnconfirmed}, observer_.accepted);
  EXPECT_EQ("Successfully upgrade ROM, it is going to reboot the device, please wait.....",
            observer_.lines.at(observer_.lines_when_accepted - 1));
  const std::vector<std::string> end = {
      "The firmware was sent and the camera took it; it is restarting now. Only the wait for it "
      "was stopped.",
      "Check its version in a few minutes: the camera list of Search LAN IP camera shows it, as "
      "does camlift status --ip 192.168.1.126 --port 81"};
  EXPECT_EQ(end, std::vector<std::string>(observer_.lines.end() - 2, observer_.lines.end()));
}

// Each stage is reported from 0 to its end on its own, the restart wait against its limit.
TEST_F(UpgradeThreadFixture, ProgressRunsStageByStage) {
  script_.oem = {true, false, true};
  EXPECT_EQ(TUpgradeStatus::Working, Run().status);
  std::vector<TProgressStage> stages;
  for (const auto& r : observer_.progress) {
    if (stages.empty() || stages.back() != r.stage) {
      stages.push_back(r.stage);
      EXPECT_EQ(0, r.done) << static_cast<int>(r.stage);  // a stage starts empty
    }
  }
  EXPECT_EQ((std::vector<TProgressStage>{TProgressStage::Verify, TProgressStage::RebootWait}),
            stages);
  const auto& wait = observer_.progress.back();
  EXPECT_EQ(TProgressStage::RebootWait, wait.stage);
  EXPECT_EQ(Millis(Wait::ReturnLimit), wait.total);
  EXPECT_GT(wait.done, 0);
}

}  // namespace
}  // namespace camlift
