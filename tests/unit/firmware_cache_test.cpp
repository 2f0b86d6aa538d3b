// SPDX-License-Identifier: Apache-2.0
// The rules of the verified firmware cache that need no network: which catalogue names may be
// used as file names at all, and what a store leaves behind.
#include "repository/firmware_cache.h"

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

// A file name may have 255 bytes; the record beside a firmware of such a name gets a short name
// of its own, so that names of 247 to 255 bytes can be verified and reused too.
TEST(FirmwareCache, LongestNamesAreRecorded) {
  test::TTempFolder temp;
  const std::string md5 = "0123456789abcdef0123456789abcdef";
  TFirmwareCache cache(temp.path() + "Bin/");
  for (const std::size_t length : {246u, 247u, 251u, 255u}) {
    const std::string name = std::string(length - 4, 'f') + ".bin";
    ASSERT_TRUE(IsPlainArchiveName(name));
    ASSERT_TRUE(test::WriteZip(temp.path() + "a.zip", {{name, "firmware " + name}})) << length;
    EXPECT_TRUE(cache.Store(temp.path() + "a.zip", md5, name)) << length;
    EXPECT_TRUE(cache.IsVerified(md5, name)) << length;
  }
  // Up to 246 bytes the record keeps the name it always had.
  EXPECT_TRUE(
      std::filesystem::exists(cache.PathOf(md5, std::string(242, 'f') + ".bin") + ".verified"));
  const std::string longest = std::string(251, 'f') + ".bin";
  EXPECT_TRUE(
      std::filesystem::exists(temp.path() + "Bin/" + md5 + "/." + Md5Hex(longest) + ".verified"));
}

// Links planted where the cache keeps its folders are never followed: not at Bin/ (which would
// hand over a firmware nobody verified, or write outside the work folder), not at Bin/<md5>/.
TEST(FirmwareCache, LinksInPlaceOfItsFoldersAreNotFollowed) {
  const std::string md5 = "0123456789abcdef0123456789abcdef";
  for (const std::string& planted : {std::string("Bin"), "Bin/" + md5}) {
    SCOPED_TRACE(planted);
    test::TTempFolder temp;
    const std::string work = temp.path() + "work/";
    const std::string outside = temp.path() + "outside/";
    std::filesystem::create_directories(work + "Bin");
    std::filesystem::create_directories(outside + md5);
    // What an attacker prepared outside: a firmware and a record that would pass.
    const std::string prepared = outside + md5 + "/";
    test::WriteFile(prepared + "fw.bin", "evil");
    test::WriteFile(prepared + "fw.bin.verified", md5 + " 4\n");
    std::filesystem::remove(work + planted);
    std::filesystem::create_directory_symlink(planted == "Bin" ? outside : outside + md5,
                                              work + planted);
    TFirmwareCache cache(work + "Bin/");
    EXPECT_FALSE(cache.IsVerified(md5, "fw.bin"));
    ASSERT_TRUE(test::WriteZip(temp.path() + "good.zip", {{"fw.bin", "good"}}));
    EXPECT_TRUE(cache.Store(temp.path() + "good.zip", md5, "fw.bin"));
    EXPECT_EQ("good", test::ReadFile(work + "Bin/" + md5 + "/fw.bin"));
    EXPECT_FALSE(std::filesystem::is_symlink(work + planted));
    // Byte for byte what was there: nothing outside the work folder was written or removed.
    EXPECT_EQ("evil", test::ReadFile(prepared + "fw.bin"));
    EXPECT_EQ(md5 + " 4\n", test::ReadFile(prepared + "fw.bin.verified"));
    std::size_t outside_files = 0;
    for (const auto& item : std::filesystem::recursive_directory_iterator(outside)) {
      outside_files += item.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(2u, outside_files);
  }
}

}  // namespace
}  // namespace camlift
