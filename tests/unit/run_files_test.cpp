// SPDX-License-Identifier: Apache-2.0
// Files a run makes in the work folder: names no other run makes (also in another PID
// namespace), and the sweep that removes only what runs that are gone left behind.
#include "repository/run_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>

#include "support/temp_folder.h"

namespace camlift {
namespace {

namespace fs = std::filesystem;

TEST(RunFiles, NamesCarryTheRunId) {
  EXPECT_TRUE(std::regex_match(RunId(), std::regex("[0-9a-f]{16}"))) << RunId();
  const std::string a = UniqueLocalName(".download-");
  const std::string b = UniqueLocalName(".download-");
  EXPECT_NE(a, b);
  EXPECT_EQ(0u, a.rfind(".download-" + RunId() + "-", 0)) << a;
  EXPECT_TRUE(IsRunOwnedName(a));
  for (const char* name : {".local-x", ".catalogue-x", ".record-x", ".stage-x"}) {
    EXPECT_TRUE(IsRunOwnedName(name)) << name;
  }
  for (const char* name : {"Firmware.ini", "download-x", ".run-x", "Bin"}) {
    EXPECT_FALSE(IsRunOwnedName(name)) << name;
  }
}

void Touch(const std::string& path, bool folder = false) {
  if (folder) {
    fs::create_directories(path);
    test::WriteFile(path + "/inside", "0123456789");
  } else {
    test::WriteFile(path, "0123456789");
  }
}

void MakeOld(const std::string& path) {
  fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(2));
}

TEST(RunFiles, SweepRemovesOnlyWhatDeadRunsLeft) {
  test::TTempFolder temp;
  const std::string work = temp.path();
  const std::string dead = "0123456789abcdef";  // a run whose lock is there, unheld
  const std::string gone = "fedcba9876543210";  // a run whose lock is gone too
  const std::string live = "00112233aabbccdd";  // a run that holds its lock (this test)
  test::WriteFile(work + ".run-" + dead, "");
  test::WriteFile(work + ".run-" + live, "");
  const int live_lock = ::open((work + ".run-" + live).c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(live_lock, 0);
  ASSERT_EQ(0, ::flock(live_lock, LOCK_EX | LOCK_NB));
  fs::create_directories(work + "Bin/0123456789abcdef0123456789abcdef");
  fs::create_directories(work + "downloads/127.0.0.2-81");
  const std::vector<std::pair<std::string, bool>> removed = {
      {".download-" + dead + "-1", true},
      {".catalogue-" + gone + "-7", true},
      {"downloads/127.0.0.2-81/.local-" + dead + "-2", true},
      {"Bin/.stage-" + dead + "-Ab3dE9", true},
      {"Bin/0123456789abcdef0123456789abcdef/.record-" + gone + "-3", true},
  };
  const std::vector<std::string> kept = {
      ".download-" + live + "-1",
      "Bin/.stage-" + live + "-Xy12Zq",
      ".download-" + RunId() + "-99",
      "Firmware.ini",
      "fw.zip",
      "Bin/0123456789abcdef0123456789abcdef/fw.bin",
  };
  for (const auto& [name, folder] : removed) Touch(work + name, folder);
  for (const std::string& name : kept)
    Touch(work + name, name.find(".stage-") != std::string::npos);
  // Named as older versions named them: a process id, no lock. Only an old one is taken as dead.
  Touch(work + ".download-4242-0");
  Touch(work + ".download-4343-0");
  MakeOld(work + ".download-4343-0");

  const TSweepResult result = SweepLeftovers(work);
  EXPECT_EQ(6, result.removed);
  EXPECT_EQ(60u, result.bytes);
  for (const auto& [name, folder] : removed) EXPECT_FALSE(fs::exists(work + name)) << name;
  for (const std::string& name : kept) EXPECT_TRUE(fs::exists(work + name)) << name;
  EXPECT_TRUE(fs::exists(work + ".download-4242-0"));
  EXPECT_FALSE(fs::exists(work + ".download-4343-0"));
  // The dead run's lock goes with its files; the live one stays.
  EXPECT_FALSE(fs::exists(work + ".run-" + dead));
  EXPECT_TRUE(fs::exists(work + ".run-" + live));
  ::close(live_lock);

  // Once the live run has ended, its files go at the next sweep.
  EXPECT_EQ(2, SweepLeftovers(work).removed);
  EXPECT_FALSE(fs::exists(work + ".download-" + live + "-1"));
}

TEST(RunFiles, ClaimingAFolderLocksItForThisRunAndSweepsIt) {
  test::TTempFolder temp;
  const std::string dead = "0123456789abcdef";
  test::WriteFile(temp.path() + ".run-" + dead, "");
  Touch(temp.path() + ".download-" + dead + "-1");
  ClaimWorkFolder(temp.path());
  EXPECT_FALSE(fs::exists(temp.path() + ".download-" + dead + "-1"));
  const int fd = ::open((temp.path() + ".run-" + RunId()).c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_NE(0, ::flock(fd, LOCK_EX | LOCK_NB)) << "this run holds its lock";
  ::close(fd);
}

TEST(RunFiles, OwnFoldersAreNeverLinks) {
  test::TTempFolder temp;
  const std::string outside = temp.path() + "outside/";
  fs::create_directories(outside);
  test::WriteFile(outside + "sentinel", "keep me");
  fs::create_directories(temp.path() + "work");
  fs::create_directory_symlink(outside, temp.path() + "work/logs");
  test::WriteFile(temp.path() + "work/downloads", "a file where a folder belongs");
  EXPECT_TRUE(MakeOwnFolders(temp.path() + "work/", "logs"));
  EXPECT_TRUE(MakeOwnFolders(temp.path() + "work/", "downloads/10.0.0.1-80/"));
  EXPECT_TRUE(IsOwnFolder(temp.path() + "work/logs"));
  EXPECT_TRUE(IsOwnFolder(temp.path() + "work/downloads/10.0.0.1-80"));
  EXPECT_EQ("keep me", test::ReadFile(outside + "sentinel"));
  // The user's work folder itself may be reached through a link.
  fs::create_directory_symlink(temp.path() + "work", temp.path() + "via-link");
  EXPECT_TRUE(MakeOwnFolders(temp.path() + "via-link/", "Bin"));
  EXPECT_TRUE(fs::is_symlink(temp.path() + "via-link"));
}

}  // namespace
}  // namespace camlift
