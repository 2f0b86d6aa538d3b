// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/broadcast.h"
#include "platform/dispatcher.h"
#include "platform/locale.h"
#include "platform/paths.h"
#include "platform/run_control.h"
#include "platform/single_instance.h"
#include "platform/timing.h"
#include "support/temp_folder.h"
#include "util/percent_encoding.h"

namespace camlift {
namespace {

TEST(Timing, ScaleIsParsedStrictly) {
  EXPECT_DOUBLE_EQ(1.0, ParseTimeScale("1"));
  EXPECT_DOUBLE_EQ(0.01, ParseTimeScale("0.01"));
  EXPECT_DOUBLE_EQ(0.0, ParseTimeScale("0"));
  for (const char* bad : {"", "-1", "abc", "1x", "nan", "inf", " 1"}) {
    EXPECT_THROW(ParseTimeScale(bad), std::invalid_argument) << bad;
  }
}

TEST(Timing, ValuesAreScaledAndTimeoutsKeepAFloor) {
  SetTimeScaleForTesting(1.0);
  EXPECT_EQ(40000, Millis(Wait::RebootWait));
  EXPECT_EQ(8000, Millis(Wait::CtpReplyTimeout));
  SetTimeScaleForTesting(0.01);
  EXPECT_EQ(400, Millis(Wait::RebootWait));
  EXPECT_EQ(1000, Millis(Wait::CameraPageRead));  // 200, raised to the floor
  SetTimeScaleForTesting(0.1);
  EXPECT_EQ(2000, Millis(Wait::CameraPageRead));  // above the floor, a time-out is scaled
  SetTimeScaleForTesting(0.0);
  EXPECT_EQ(0, Millis(Wait::CtpSessionPause));
  EXPECT_EQ(1000, Millis(Wait::CtpReplyTimeout));  // the floor of every time-out
  EXPECT_EQ(30, Millis(Wait::R730ReceiveWait));    // a time-out shorter than the floor stays
  // The bound of a whole transfer keeps a higher floor: a busy machine is not a trickle.
  EXPECT_EQ(1500, Millis(Wait::CameraPageLimit));
  SetTimeScaleForTesting(0.1);
  EXPECT_EQ(12000, Millis(Wait::CatalogueFetchLimit));
  EXPECT_EQ(3000, Millis(Wait::DownloadRateWindow));
  SetTimeScaleForTesting(-1);
}

// The waits the cameras and the upgrade procedure fix, in milliseconds, unscaled.
TEST(Timing, CameraWaitsHoldTheirFixedValues) {
  const struct {
    Wait wait;
    int ms;
  } rows[] = {
      {Wait::CameraPageRead, 20000},     {Wait::UploadConnect, 60000},
      {Wait::UploadRead, 60000},         {Wait::RebootWait, 40000},
      {Wait::ReturnPollInterval, 1000},  {Wait::CtpConnectWait, 1000},
      {Wait::CtpReplyTimeout, 8000},     {Wait::CtpSessionPause, 5000},
      {Wait::CtpSearchWindow, 300},      {Wait::SearchPassInterval, 1000},
      {Wait::ImagiaCommandPause, 10},    {Wait::R730ReceiveWait, 30},
      {Wait::R730SettingsReplyWait, 30}, {Wait::R730StatusRead, 20000},
      {Wait::R730ConfigRead, 5000},      {Wait::R730ConfigReadLong, 10000},
      {Wait::R730ConfigWrite, 20000},    {Wait::R730ScanPause, 200},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(row.ms, WaitInfo(row.wait).ms) << WaitInfo(row.wait).name;
  }
}

// The whole table, row by row: a changed value, a row dropped, renamed or moved shows up here.
TEST(Timing, EveryRowHoldsItsValue) {
  const std::vector<std::pair<std::string, int>> expected = {
      {"CameraPageRead", 20000},       {"UploadConnect", 60000},
      {"UploadRead", 60000},           {"DownloadConnect", 20000},
      {"DownloadStall", 30000},        {"RebootWait", 40000},
      {"ReturnPollInterval", 1000},    {"ReturnLimit", 600000},
      {"CtpConnectWait", 1000},        {"CtpReplyTimeout", 8000},
      {"CtpContinueLimit", 60000},     {"CtpSessionPause", 5000},
      {"CtpSearchWindow", 300},        {"CtpSearchLimit", 5000},
      {"SearchPassInterval", 1000},    {"ListViewRefresh", 40},
      {"ImagiaCommandPause", 10},      {"R730ReceiveWait", 30},
      {"R730SettingsReplyWait", 30},   {"R730SettingsReplyLimit", 5000},
      {"R730StatusRead", 20000},       {"R730ConfigRead", 5000},
      {"R730ConfigReadLong", 10000},   {"R730ConfigWrite", 20000},
      {"R730ScanPause", 200},          {"HttpGetNet", 5000},
      {"SearchSettle", 1000},          {"FleetCheckStop", 2000},
      {"SleepLockCall", 5000},         {"DownloadRateWindow", 30000},
      {"DownloadLimitBase", 120000},   {"DownloadLimitMax", 3600000},
      {"CatalogueFetchLimit", 120000}, {"SignatureFetchLimit", 60000},
      {"CameraPageLimit", 60000},      {"UploadLimitBase", 300000},
      {"R730ReceiveLimit", 800},       {"PasswordPipeWait", 2000}};
  std::vector<std::pair<std::string, int>> rows;
  for (const WaitEntry& e : WaitTable()) rows.emplace_back(std::string(e.name), e.ms);
  EXPECT_EQ(expected, rows);
}

TEST(Broadcast, DefaultOverrideAndRefusal) {
  ::unsetenv("CAMLIFT_BROADCAST_ADDR");
  EXPECT_EQ("255.255.255.255", BroadcastAddressText());
  ::setenv("CAMLIFT_BROADCAST_ADDR", "127.255.255.255", 1);
  EXPECT_EQ("127.255.255.255", BroadcastAddressText());
  ::setenv("CAMLIFT_BROADCAST_ADDR", "127.255.255", 1);
  EXPECT_THROW(BroadcastAddressText(), std::invalid_argument);
  ::setenv("CAMLIFT_BROADCAST_ADDR", "127.255.255.255", 1);
}

TEST(Broadcast, DottedQuadParser) {
  EXPECT_TRUE(ParseDottedIPv4("0.0.0.0"));
  EXPECT_TRUE(ParseDottedIPv4("192.168.1.126"));
  for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "a.b.c.d", "1..2.3", "1.2.3.4 ",
                          "localhost", "0001.2.3.4"}) {
    EXPECT_FALSE(ParseDottedIPv4(bad)) << bad;
  }
}

TEST(Locale, OemCodePageTable) {
  struct Case {
    const char* locale;
    int code_page;
  };
  const Case cases[] = {{"zh_CN.UTF-8", 936},  {"zh_SG", 936},       {"zh_TW.Big5", 950},
                        {"zh_HK.UTF-8", 950},  {"zh_MO", 950},       {"ja_JP.UTF-8", 932},
                        {"fr_CA.UTF-8", 863},  {"fr_FR.UTF-8", 437}, {"it_IT", 1144},
                        {"es_ES.UTF-8", 1145}, {"en_US.UTF-8", 437}, {"C", 437},
                        {"POSIX", 437}};
  for (const Case& c : cases) EXPECT_EQ(c.code_page, OemCodePageForLocale(c.locale)) << c.locale;
}

TEST(PercentEncoding, KeepsPlainValuesAndEscapesTheRest) {
  EXPECT_EQ("admin", PercentEncode("admin"));
  EXPECT_EQ("531642", PercentEncode("531642"));
  EXPECT_EQ("a-b.c_d~e", PercentEncode("a-b.c_d~e"));
  EXPECT_EQ("p%26w%23d%20x%0D%0Ay%3D", PercentEncode("p&w#d x\r\ny="));
  EXPECT_EQ("%C3%A9%FF", PercentEncode("\xC3\xA9\xFF"));
}

TEST(Dispatcher, WorkerCallsRunOnTheOwnerThreadInOrder) {
  TLoopDispatcher dispatcher;
  const auto owner = std::this_thread::get_id();
  std::vector<int> seen;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (int i = 0; i < 5; ++i) {
      dispatcher.Invoke([&, i] {
        EXPECT_EQ(owner, std::this_thread::get_id());
        seen.push_back(i);
      });
    }
    done = true;
    dispatcher.Wake();
  });
  dispatcher.RunUntil([&] { return done.load(); });
  worker.join();
  EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4}), seen);
}

// The command-line search serves the listeners for a fixed time: calls that come meanwhile run
// on the owner thread, and the time is served in full even when nothing comes.
TEST(Dispatcher, RunForServesCallsUntilTheTimeIsUp) {
  TLoopDispatcher dispatcher;
  const auto owner = std::this_thread::get_id();
  std::vector<int> seen;
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i) {
      dispatcher.Invoke([&, i] {
        EXPECT_EQ(owner, std::this_thread::get_id());
        seen.push_back(i);
      });
    }
  });
  const auto start = std::chrono::steady_clock::now();
  dispatcher.RunFor(std::chrono::milliseconds(300));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  worker.join();
  EXPECT_EQ((std::vector<int>{0, 1, 2}), seen);
}

// A token reads its flags when asked, so a flag set after the token was made (by a batch, by
// the Ctrl+C handler) still stops the run; a null flag is no flag.
TEST(StopToken, WatchesEveryFlagLive) {
  std::atomic<bool> own{false}, batch{false}, interrupt{false};
  const TStopToken worker = TStopToken(&own).With(TStopToken(&batch).With(&interrupt));
  const TStopToken none = TStopToken(nullptr).With(nullptr);
  EXPECT_FALSE(worker.Requested());
  EXPECT_FALSE(none.Requested());
  EXPECT_FALSE(TStopToken().Requested());
  for (std::atomic<bool>* flag : {&own, &batch, &interrupt}) {
    *flag = true;
    EXPECT_TRUE(worker.Requested());
    *flag = false;
  }
  // The outer token alone does not see the worker's own flag.
  own = true;
  EXPECT_FALSE(TStopToken(&batch).With(&interrupt).Requested());
}

// A caller's flag set from another thread cuts a control's wait short.
TEST(StopToken, ControlWaitEndsWhenTheCallersFlagIsSet) {
  std::atomic<bool> own{false}, caller{false};
  const TRunControl control(nullptr, TStopToken(&own).With(&caller));
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    caller = true;
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(control.SleepMillis(20000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  stopper.join();
  EXPECT_TRUE(control.Cancelled());
  EXPECT_FALSE(own);
}

TEST(Paths, ProgramPathOfAReplacedProgramFile) {
  EXPECT_EQ("/usr/bin/camlift", ProgramPathFromLink("/usr/bin/camlift (deleted)"));
  EXPECT_EQ("/usr/bin/camlift", ProgramPathFromLink("/usr/bin/camlift"));
  EXPECT_EQ(" (deleted)", ProgramPathFromLink(" (deleted)"));
  EXPECT_EQ("", ProgramPathFromLink(""));
  EXPECT_EQ(ExecutablePath(), ExecutablePath());
  EXPECT_EQ(std::string::npos, ExecutablePath().find(" (deleted)"));
}

// The guard in the runtime folders a user may meet: the first copy is guarded, a second is not
// first, and a guard that cannot be set up lets the copy run.
class SingleInstance : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    saved_runtime_ = runtime ? runtime : "";
    const char* tmp = std::getenv("TMPDIR");
    saved_tmp_ = tmp ? tmp : "";
    ::setenv("TMPDIR", (temp_.path() + "tmp").c_str(), 1);
    std::filesystem::create_directories(temp_.path() + "tmp");
  }
  void TearDown() override {
    Restore("XDG_RUNTIME_DIR", saved_runtime_);
    Restore("TMPDIR", saved_tmp_);
  }
  static void Restore(const char* name, const std::string& value) {
    if (value.empty()) {
      ::unsetenv(name);
    } else {
      ::setenv(name, value.c_str(), 1);
    }
  }
  test::TTempFolder temp_;
  std::string saved_runtime_;
  std::string saved_tmp_;
};

TEST_F(SingleInstance, LockAndChannelLiveInThePrivateRuntimeFolder) {
  const std::string run = temp_.path() + "run";
  ::mkdir(run.c_str(), 0700);
  ::setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
  TSingleInstance first("IP Camera Camlift");
  EXPECT_TRUE(first.IsFirst());
  EXPECT_TRUE(first.Guarded());
  EXPECT_EQ(run + "/IP_Camera_Camlift.lock", first.LockPath());
  EXPECT_EQ(run + "/IP_Camera_Camlift.sock", first.ChannelName());
  TSingleInstance second("IP Camera Camlift");
  EXPECT_FALSE(second.IsFirst());
}

TEST_F(SingleInstance, AGuardThatCannotBeSetUpLetsTheProgramRun) {
  const std::string fallback = temp_.path() + "tmp/camlift-" + std::to_string(::geteuid());
  struct Case {
    const char* what;
    std::function<void()> prepare;
    bool guarded;
  } cases[] = {
      {"removed runtime folder: the private fallback in the temporary folder",
       [&] { ::setenv("XDG_RUNTIME_DIR", (temp_.path() + "gone").c_str(), 1); }, true},
      {"runtime folder of another user: not used",
       [&] {
         ::mkdir((temp_.path() + "theirs").c_str(), 0700);
         if (::geteuid() == 0) {
           EXPECT_EQ(0, ::chown((temp_.path() + "theirs").c_str(), 65534, 65534));
         }
         ::setenv("XDG_RUNTIME_DIR", (temp_.path() + "theirs").c_str(), 1);
       },
       true},
      {"runtime folder others may enter (pointed at a shared folder): the private fallback",
       [&] {
         ::mkdir((temp_.path() + "shared").c_str(), 0777);
         ::chmod((temp_.path() + "shared").c_str(), 01777);
         ::setenv("XDG_RUNTIME_DIR", (temp_.path() + "shared").c_str(), 1);
       },
       true},
      {"fallback others may enter: made private again or not used",
       [&] {
         ::unsetenv("XDG_RUNTIME_DIR");
         ::chmod(fallback.c_str(), 0777);
       },
       false},
      {"fallback is a link to someone's folder: no guard, but the program runs",
       [&] {
         ::unsetenv("XDG_RUNTIME_DIR");
         std::filesystem::remove_all(fallback);
         std::filesystem::create_directories(temp_.path() + "elsewhere");
         ::chmod((temp_.path() + "elsewhere").c_str(), 0700);
         std::filesystem::create_directory_symlink(temp_.path() + "elsewhere", fallback);
       },
       false},
      {"no temporary folder either",
       [&] {
         ::unsetenv("XDG_RUNTIME_DIR");
         ::setenv("TMPDIR", (temp_.path() + "missing").c_str(), 1);
       },
       false},
  };
  for (const Case& c : cases) {
    if (std::string(c.what).find("another user") != std::string::npos && ::geteuid() != 0) continue;
    c.prepare();
    TSingleInstance instance("IP Camera Camlift");
    EXPECT_TRUE(instance.IsFirst()) << c.what;
    EXPECT_EQ(c.guarded, instance.Guarded()) << c.what;
    EXPECT_EQ(c.guarded, instance.Problem().empty()) << c.what << ": " << instance.Problem();
    if (c.guarded) {
      EXPECT_EQ(fallback + "/IP_Camera_Camlift.sock", instance.ChannelName()) << c.what;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(temp_.path() + "elsewhere/IP_Camera_Camlift.lock"));
  EXPECT_FALSE(std::filesystem::exists(temp_.path() + "shared/IP_Camera_Camlift.lock"));
}

// A crashed copy's socket goes; nothing else of that name is ever removed.
TEST_F(SingleInstance, OnlyAStaleSocketOfOursIsRemoved) {
  const std::string dir = temp_.path() + "run/";
  ::mkdir(dir.c_str(), 0700);
  const auto make_socket = [](const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
  };
  ASSERT_TRUE(make_socket(dir + "stale.sock"));
  EXPECT_TRUE(RemoveStaleChannel(dir + "stale.sock"));
  EXPECT_FALSE(std::filesystem::exists(dir + "stale.sock"));
  EXPECT_TRUE(RemoveStaleChannel(dir + "never-there.sock"));

  test::WriteFile(dir + "file.sock", "mine");
  std::filesystem::create_directory(dir + "folder.sock");
  std::filesystem::create_symlink(dir + "file.sock", dir + "link.sock");
  for (const char* name : {"file.sock", "folder.sock", "link.sock"}) {
    EXPECT_FALSE(RemoveStaleChannel(dir + name)) << name;
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(dir + name))) << name;
  }
  EXPECT_EQ("mine", test::ReadFile(dir + "file.sock"));
  if (::geteuid() == 0) {
    ASSERT_TRUE(make_socket(dir + "theirs.sock"));
    ASSERT_EQ(0, ::lchown((dir + "theirs.sock").c_str(), 65534, 65534));
    EXPECT_FALSE(RemoveStaleChannel(dir + "theirs.sock"));
    EXPECT_TRUE(std::filesystem::exists(dir + "theirs.sock"));
  }
}

}  // namespace
}  // namespace camlift
