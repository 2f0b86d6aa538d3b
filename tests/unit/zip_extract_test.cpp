// SPDX-License-Identifier: Apache-2.0
#include "repository/zip_extract.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "repository/upgrade_opt.h"
#include "support/temp_folder.h"
#include "support/zip_builder.h"

namespace fs = std::filesystem;

namespace camlift {
namespace {

using test::TZipEntry;

TEST(ZipExtract, EntryNameTable) {
  struct Case {
    const char* name;
    bool safe;
  };
  const Case cases[] = {
      {"fw.bin", true},
      {"sub/fw.bin", true},
      {"sub/", true},
      {"../x", false},
      {"/abs/x", false},
      {"a/../../x", false},
      {"./././a/../../x", false},
      {"..\\x", false},
      {"a\\b", false},
      {"C:/x", false},
      {"a//b", false},
      {"", false},
      {"./a", false},
      {"a/..", false},
      {"x\ny", false},
      {"..", false},
      {"Bin-evil/x", true},
  };
  for (const Case& c : cases) EXPECT_EQ(c.safe, IsSafeEntryName(c.name)) << c.name;
}

class ZipExtractFixture : public ::testing::Test {
 protected:
  std::string Archive(const std::vector<TZipEntry>& entries) {
    const std::string path = temp_.path() + "a.zip";
    EXPECT_TRUE(test::WriteZip(path, entries));
    return path;
  }
  // Everything below the temporary folder except the archive itself.
  std::vector<std::string> Written() const {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(temp_.path())) {
      const std::string rel = fs::relative(e.path(), temp_.path()).string();
      if (rel != "a.zip" && rel != "Bin") names.push_back(rel);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Bin() const { return temp_.path() + "Bin/"; }
  test::TTempFolder temp_;
};

TEST_F(ZipExtractFixture, UnpacksFoldersAndFiles) {
  const std::string archive =
      Archive({{"fw.bin", "firmware"}, {"docs/", ""}, {"docs/readme.txt", "hello"}});
  EXPECT_TRUE(TUpgradeOpt::UnpackArchive(archive, Bin() + "fw.bin"));
  EXPECT_EQ("firmware", test::ReadFile(Bin() + "fw.bin"));
  EXPECT_EQ("hello", test::ReadFile(Bin() + "docs/readme.txt"));
  EXPECT_EQ((std::vector<std::string>{"Bin/docs", "Bin/docs/readme.txt", "Bin/fw.bin"}), Written());
}

TEST_F(ZipExtractFixture, ExistingFilesAreReplaced) {
  fs::create_directories(Bin());
  test::WriteFile(Bin() + "fw.bin", "old");
  EXPECT_TRUE(TUpgradeOpt::UnpackArchive(Archive({{"fw.bin", "new"}}), Bin() + "fw.bin"));
  EXPECT_EQ("new", test::ReadFile(Bin() + "fw.bin"));
}

TEST_F(ZipExtractFixture, MissingTargetIsAFailure) {
  EXPECT_FALSE(TUpgradeOpt::UnpackArchive(Archive({{"other.bin", "x"}}), Bin() + "fw.bin"));
}

TEST_F(ZipExtractFixture, HostileArchivesAreRefusedWhole) {
  const std::vector<std::vector<TZipEntry>> hostile = {
      {{"fw.bin", "ok"}, {"../x", "evil"}},      {{"fw.bin", "ok"}, {"/abs/x", "evil"}},
      {{"fw.bin", "ok"}, {"a/../../x", "evil"}}, {{"fw.bin", "ok"}, {"./././a/../../x", "evil"}},
      {{"fw.bin", "ok"}, {"..\\x", "evil"}},     {{"fw.bin", "ok"}, {"link", "/etc/passwd", true}},
      {{"fw.bin", "ok"}, {"fw.bin", "second"}},  {{"fw.bin", "ok"}, {"fw.bin/x", "under a file"}},
  };
  for (const auto& entries : hostile) {
    std::string error;
    EXPECT_FALSE(ExtractZipSafely(Archive(entries), Bin(), error)) << entries.back().name;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(std::vector<std::string>{}, Written()) << entries.back().name;
  }
}

TEST_F(ZipExtractFixture, SizeLimitRefusesBombs) {
  std::string error;
  TZipLimits limits;
  limits.max_total_bytes = 1000;
  EXPECT_FALSE(
      ExtractZipSafely(Archive({{"fw.bin", std::string(5000, 'a')}}), Bin(), error, limits));
  EXPECT_EQ(std::vector<std::string>{}, Written());
}

TEST_F(ZipExtractFixture, BrokenDataIsRefused) {
  std::string noise(4096, '\0');
  unsigned seed = 12345;
  for (char& c : noise) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
  const std::string archive = Archive({{"fw.bin", noise}, {"z.bin", "zz"}});
  // Damage the stored bytes of the first entry: its CRC no longer matches.
  std::fstream f(archive, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(60);
  f.write("\x01\x02\x03\x04", 4);
  f.close();
  std::string error;
  EXPECT_FALSE(ExtractZipSafely(archive, Bin(), error));
  EXPECT_EQ(std::vector<std::string>{}, Written());
}

TEST_F(ZipExtractFixture, NotAZipIsAFailureNotACrash) {
  test::WriteFile(temp_.path() + "a.zip", "this is not a zip archive at all");
  EXPECT_FALSE(TUpgradeOpt::UnpackArchive(temp_.path() + "a.zip", Bin() + "fw.bin"));
  test::WriteFile(temp_.path() + "a.zip", "");
  EXPECT_FALSE(TUpgradeOpt::UnpackArchive(temp_.path() + "a.zip", Bin() + "fw.bin"));
}

}  // namespace
}  // namespace camlift
