// SPDX-License-Identifier: Apache-2.0
// A file replaced whole, never through a link, with nothing left beside it.
#include "util/file_replace.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace camlift {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ReplaceFileWhole, NewAndExistingFilesGetTheBytesAndMode0644) {
  test::TTempFolder temp;
  const std::string path = temp.path() + "camlift.prom";
  std::string error;
  ASSERT_TRUE(ReplaceFileWhole(path, "first\n", error)) << error;
  EXPECT_EQ("first\n", test::ReadFile(path));
  ::chmod(path.c_str(), 0600);
  ASSERT_TRUE(ReplaceFileWhole(path, "second\n", error)) << error;
  EXPECT_EQ("second\n", test::ReadFile(path));
  struct stat st {};
  ASSERT_EQ(0, ::stat(path.c_str(), &st));
  EXPECT_EQ(0644u, st.st_mode & 07777);
  EXPECT_EQ(std::vector<std::string>{"camlift.prom"}, Names(temp.path()));
}

// A link at the file's own name is replaced, not written through: the file it names stays.
TEST(ReplaceFileWhole, LinkAtTheNameIsReplacedNotFollowed) {
  test::TTempFolder temp;
  test::WriteFile(temp.path() + "victim", "keep me");
  const std::string path = temp.path() + "camlift.prom";
  fs::create_symlink(temp.path() + "victim", path);
  std::string error;
  ASSERT_TRUE(ReplaceFileWhole(path, "metrics\n", error)) << error;
  EXPECT_EQ("keep me", test::ReadFile(temp.path() + "victim"));
  EXPECT_FALSE(fs::is_symlink(path));
  EXPECT_EQ("metrics\n", test::ReadFile(path));
}

TEST(ReplaceFileWhole, FailuresSayWhyAndLeaveNothing) {
  test::TTempFolder temp;
  fs::create_directory(temp.path() + "folder");
  test::WriteFile(temp.path() + "folder/inside", "x");
  const struct {
    std::string path;
    std::string error;
  } rows[] = {
      {temp.path() + "missing/camlift.prom", "No such file or directory"},
      {temp.path() + "folder", "Is a directory"},
      {temp.path() + "folder/", "not a file name"},
  };
  for (const auto& row : rows) {
    std::string error;
    EXPECT_FALSE(ReplaceFileWhole(row.path, "x", error)) << row.path;
    EXPECT_EQ(row.error, error) << row.path;
  }
  EXPECT_EQ(std::vector<std::string>{"folder"}, Names(temp.path()));
  EXPECT_EQ(std::vector<std::string>{"inside"}, Names(temp.path() + "folder"));
}

}  // namespace
}  // namespace camlift
