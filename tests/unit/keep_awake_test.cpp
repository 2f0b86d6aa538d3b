// SPDX-License-Identifier: Apache-2.0
// The lock against sleep of a run: asked for once, at the first upload, held until the run's
// object ends; a refusal is said once.
#include "upgrade/keep_awake.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <thread>
#include <vector>

#include "i18n/str_res.h"
#include "i18n/str_resource.h"
#include "support/fake_sleep_inhibitor.h"

namespace camlift {
namespace {

class KeepAwake : public ::testing::Test {
 protected:
  void SetUp() override { SetLanguage("en"); }
  TfrmStrRes store_;
};

TEST_F(KeepAwake, OneLockFromTheFirstUploadUntilTheRunEnds) {
  test::TFakeSleepInhibitor logind;
  {
    TKeepAwake keep_awake(3, &logind);
    EXPECT_TRUE(logind.requests().empty()) << "asked for before any upload";
    EXPECT_FALSE(keep_awake.Held());
    // The cameras of a batch reach their uploads side by side.
    std::vector<std::thread> workers;
    for (int i = 0; i < 8; ++i) {
      workers.emplace_back([&] { EXPECT_EQ("", keep_awake.BeforeUpload()); });
    }
    for (auto& w : workers) w.join();
    ASSERT_EQ(1u, logind.requests().size());
    EXPECT_EQ("Camlift", logind.requests()[0].who);
    EXPECT_EQ("Camera firmware upgrade in progress; cameras: 3", logind.requests()[0].why);
    EXPECT_TRUE(keep_awake.Held());
    EXPECT_TRUE(logind.LastLockHeld());
  }
  EXPECT_FALSE(logind.LastLockHeld()) << "the lock outlived the run";
}

TEST_F(KeepAwake, RefusalIsSaidOnceAndTheRunGoesOn) {
  test::TFakeSleepInhibitor logind("no system bus: No such file or directory");
  TKeepAwake keep_awake(2, &logind);
  EXPECT_EQ(
      "The computer could not be kept from going to sleep during the upgrade; keep it awake "
      "until the upgrade has ended:no system bus: No such file or directory",
      keep_awake.BeforeUpload());
  EXPECT_EQ("", keep_awake.BeforeUpload());
  EXPECT_EQ(1u, logind.requests().size());
  EXPECT_FALSE(keep_awake.Held());
}

TEST_F(KeepAwake, ReasonInEachLanguage) {
  const struct {
    const char* code;
    const char* why;
  } rows[] = {
      {"en", "Camera firmware upgrade in progress; cameras: 1"},
      {"cn",
       "\xe6\xad\xa3\xe5\x9c\xa8\xe5\x8d\x87\xe7\xba\xa7\xe6\x91\x84\xe5\x83\x8f\xe6\x9c\xba"
       "\xe5\x9b\xba\xe4\xbb\xb6\xef\xbc\x8c\xe6\x91\x84\xe5\x83\x8f\xe6\x9c\xba\xe6\x95\xb0"
       "\xef\xbc\x9a"
       "1"},
      {"b5",
       "\xe6\xad\xa3\xe5\x9c\xa8\xe5\x8d\x87\xe7\xb4\x9a\xe6\x94\x9d\xe5\xbd\xb1\xe6\xa9\x9f"
       "\xe9\x9f\x8c\xe9\xab\x94\xef\xbc\x8c\xe6\x94\x9d\xe5\xbd\xb1\xe6\xa9\x9f\xe6\x95\xb8"
       "\xef\xbc\x9a"
       "1"},
  };
  for (const auto& row : rows) {
    SetLanguage(row.code);
    EXPECT_EQ(row.why, TKeepAwake::Reason(1)) << row.code;
  }
  SetLanguage("en");
}

// Without a bus (as in a container, and as every test runs) the login manager is not asked at
// all, and the reason says so.
TEST_F(KeepAwake, LogindWithoutASystemBusGivesNoLock) {
  const char* saved = ::getenv("DBUS_SYSTEM_BUS_ADDRESS");
  const std::string before = saved ? saved : "";
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/camlift-test-bus", 1);
  std::string error;
  TSleepLock lock = MakeLogindSleepInhibitor()->Inhibit({"Camlift", "test"}, error);
  EXPECT_FALSE(lock.Held());
  EXPECT_EQ("no system bus: No such file or directory", error);
  if (saved) {
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", before.c_str(), 1);
  } else {
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
  }
}

}  // namespace
}  // namespace camlift
