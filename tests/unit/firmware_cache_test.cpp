// SPDX-License-Identifier: Apache-2.0
// The rules of the verified firmware cache that need no network: which catalogue names may be
// used as file names at all, and what a store leaves behind.
#include "upgrade/firmware_cache.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_folder.h"
#include "support/zip_builder.h"
#include "util/md5.h"

namespace camlift {
namespace {

TEST(FirmwareCache, PlainArchiveNames) {
  struct Case {
    std::string name;
    bool plain;
  };
  const Case cases[] = {
      {"fw_P_sys_1.0.0.2.zip", true},
      {"FW 1.0 (beta).zip", true},
      {"fw.pk2.zip", true},
      {"", false},
      {".", false},
      {"..", false},
      {"../fw.zip", false},
      {"sub/fw.zip", false},
      {"/fw.zip", false},
      {"..\\fw.zip", false},
      {"C:fw.zip", false},
      {"fw\x01.zip", false},
      {"fw\x7f.zip", false},
      {std::string("fw\0.zip", 7), false},
      {".download-1-2", false},
      {"option.ini", false},
      {"OPTION.INI", false},
      {"Firmware.ini", false},
      {"Firmware-127.0.0.2-81.ini", false},
      {"firmware.txt", false},
      {"fw.bin.verified", false},
      {std::string(256, 'a'), false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.plain, IsPlainArchiveName(c.name)) << c.name;
}

TEST(FirmwareCache, Md5Texts) {
  EXPECT_TRUE(IsMd5Text("0123456789abcdef0123456789ABCDEF"));
  EXPECT_FALSE(IsMd5Text("0123456789abcdef0123456789abcde"));
  EXPECT_FALSE(IsMd5Text("0123456789abcdef0123456789abcdeg"));
  EXPECT_FALSE(IsMd5Text("../../../../../../../../../../x/"));
}

// An archive without the expected file leaves nothing under that name, even where an earlier
// archive of the same checksum had put one, and no staging folder.
TEST(FirmwareCache, StoreTakesOnlyTheArchiveJustVerified) {
  test::TTempFolder temp;
  const std::string md5 = "0123456789abcdef0123456789abcdef";
  TFirmwareCache cache(temp.path() + "Bin/");
  std::filesystem::create_directories(temp.path() + "Bin/" + md5);
  test::WriteFile(cache.PathOf(md5, "fw.bin"), "old firmware");
  ASSERT_TRUE(cache.Record(md5, "fw.bin"));
  ASSERT_TRUE(cache.IsVerified(md5, "fw.bin"));

  ASSERT_TRUE(test::WriteZip(temp.path() + "other.zip", {{"other.bin", "new firmware"}}));
  EXPECT_FALSE(cache.Store(temp.path() + "other.zip", md5, "fw.bin"));
  EXPECT_FALSE(std::filesystem::exists(cache.PathOf(md5, "fw.bin")));
  EXPECT_FALSE(cache.IsVerified(md5, "fw.bin"));

  ASSERT_TRUE(test::WriteZip(temp.path() + "good.zip", {{"fw.bin", "new firmware"}}));
  EXPECT_TRUE(cache.Store(temp.path() + "good.zip", md5, "fw.bin"));
  EXPECT_EQ("new firmware", test::ReadFile(cache.PathOf(md5, "fw.bin")));
  EXPECT_TRUE(cache.IsVerified(md5, "fw.bin"));
  for (const auto& item : std::filesystem::directory_iterator(temp.path() + "Bin/")) {
    EXPECT_EQ(md5, item.path().filename().string());
  }
}

}  // namespace
}  // namespace camlift
