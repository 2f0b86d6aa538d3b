// SPDX-License-Identifier: Apache-2.0
#include "util/option_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "i18n/language_list.h"
#include "platform/locale.h"
#include "platform/paths.h"
#include "repository/repository_trust.h"
#include "support/temp_folder.h"
#include "util/tools.h"

namespace camlift {
namespace {

TEST(OptionFile, UserValueWinsOverProgramFolderWhichWinsOverTheDefault) {
  struct Case {
    const char* program_file;  // contents of option.ini in the program folder, or null
    const char* user_file;     // contents of the user's option.ini, or null
    const char* expected;
  };
  const Case cases[] = {
      {nullptr, nullptr, "dflt"},
      {"[Global]\r\nlan=b5\r\n", nullptr, "b5"},
      {"[Global]\r\nlan=cn\r\n", "[Global]\r\nlan=en\r\n", "en"},
      {nullptr, "[global]\r\nLAN = cn \r\n", "cn"},
      {"[Global]\r\nother=1\r\n", nullptr, "dflt"},
  };
  for (const Case& c : cases) {
    test::TTempFolder temp;
    TTools::ForceDirs(temp.path() + "program");
    TTools::ForceDirs(temp.path() + "user");
    if (c.program_file) test::WriteFile(temp.path() + "program/option.ini", c.program_file);
    if (c.user_file) test::WriteFile(temp.path() + "user/option.ini", c.user_file);
    TOptionFile options("option.ini", temp.path() + "program/", temp.path() + "user/");
    EXPECT_EQ(c.expected, options.ReadString("Global", "lan", "dflt "));
  }
}

// A defaults file (the administrator's, with the repository keys) that is there but cannot be
// read is said with its path and reason, so that the keys are never dropped without a word.
// Only one that is certainly not there counts as none. (A file this user may not read is
// checked by tests/scripts/system_options_test.sh, as another user.)
TEST(OptionFile, DefaultsThatCannotBeReadAreSaid) {
  struct Case {
    const char* name;
    std::function<void(const std::string& file)> make;
    std::string problem;  // after the path and ": "
  };
  const Case cases[] = {
      {"absent", [](const std::string&) {}, ""},
      {"readable", [](const std::string& f) { test::WriteFile(f, "[Global]\r\nlan=b5\r\n"); }, ""},
      {"a folder", [](const std::string& f) { std::filesystem::create_directories(f); },
       "not a regular file"},
      {"a named pipe", [](const std::string& f) { ::mkfifo(f.c_str(), 0600); },
       "not a regular file"},
      {"larger than 1 MiB",
       [](const std::string& f) {
         test::WriteFile(f, "[Global]\r\nrepository_keys=x\r\n" + std::string(1 << 20, ';'));
       },
       "larger than 1 MiB"},
  };
  for (const Case& c : cases) {
    test::TTempFolder temp;
    TTools::ForceDirs(temp.path() + "program");
    TTools::ForceDirs(temp.path() + "user");
    const std::string file = temp.path() + "program/option.ini";
    c.make(file);
    const TOptionFile options("option.ini", temp.path() + "program/", temp.path() + "user/");
    EXPECT_EQ(c.problem.empty() ? "" : file + ": " + c.problem, options.DefaultsProblem())
        << c.name;
    // Fail closed: a problem asks for signatures that nothing can give.
    const TRepositoryTrust trust = RepositoryTrustFrom(options.Values(), "");
    EXPECT_EQ(!c.problem.empty(), trust.signed_only) << c.name;
    EXPECT_EQ(options.DefaultsProblem(), trust.defaults_problem) << c.name;
  }
}

TEST(OptionFile, WritesOnlyTheUserFile) {
  test::TTempFolder temp;
  TTools::ForceDirs(temp.path() + "program");
  TTools::ForceDirs(temp.path() + "user");
  const std::string program = "; defaults\r\n[Global]\r\nlan=b5\r\n";
  test::WriteFile(temp.path() + "program/option.ini", program);
  TOptionFile options("option.ini", temp.path() + "program/", temp.path() + "user/");
  EXPECT_TRUE(options.WriteString("Global", "lan", "b5"));
  EXPECT_EQ(program, test::ReadFile(temp.path() + "program/option.ini"));
  EXPECT_EQ("b5", TOptionFile("option.ini", temp.path() + "program/", temp.path() + "user/")
                      .ReadString("Global", "lan", ""));
  EXPECT_NE(std::string::npos, test::ReadFile(temp.path() + "user/option.ini").find("lan=b5"));
}

TEST(OptionFile, StoreWritesAValueThatOnlyTheDefaultsHold) {
  test::TTempFolder temp;
  TTools::ForceDirs(temp.path() + "program");
  TTools::ForceDirs(temp.path() + "user");
  test::WriteFile(temp.path() + "program/option.ini", "[Global]\r\nlan=b5\r\n");
  TOptionFile options("option.ini", temp.path() + "program/", temp.path() + "user/");
  EXPECT_TRUE(options.StoreString("Global", "lan", "b5"));
  EXPECT_NE(std::string::npos, test::ReadFile(temp.path() + "user/option.ini").find("lan=b5"));
  // The same value again leaves the file as it is.
  const std::string before = test::ReadFile(temp.path() + "user/option.ini");
  EXPECT_TRUE(options.StoreString("Global", "lan", "b5"));
  EXPECT_EQ(before, test::ReadFile(temp.path() + "user/option.ini"));
}

TEST(StartLanguage, DefaultCodeFromTheOemCodePage) {
  struct Case {
    int code_page;
    const char* code;
  };
  const Case cases[] = {{863, "fr"},   {932, "jp"},   {936, "cn"}, {950, "b5"},
                        {1144, "Ita"}, {1145, "spa"}, {437, "en"}, {1252, "en"}};
  for (const Case& c : cases) EXPECT_EQ(c.code, DefaultLanguageCode(c.code_page)) << c.code_page;
}

TEST(StartLanguage, EnglishFontSizesFollowTheWholePath) {
  EXPECT_TRUE(UsesEnglishFontSizes("/tmp/camlift/camlift.len"));
  EXPECT_TRUE(UsesEnglishFontSizes("/home/helen/tmp/camlift/camlift.lcn"));
  EXPECT_FALSE(UsesEnglishFontSizes("/tmp/camlift/camlift.lcn"));
}

TEST(WorkFolder, CommandLineThenEnvironmentThenProgramFolder) {
  test::TTempFolder temp;
  ::setenv("CAMLIFT_DATA_DIR", (temp.path() + "env").c_str(), 1);
  SetWorkFolder(temp.path() + "cli");
  EXPECT_EQ(temp.path() + "cli/", WorkFolder());
  SetWorkFolder("");
  EXPECT_EQ(temp.path() + "env/", WorkFolder());
  ::unsetenv("CAMLIFT_DATA_DIR");
  // The test program's own folder is writable: a portable install keeps its files there.
  EXPECT_EQ(TTools::ModulePath(), WorkFolder());
}

}  // namespace
}  // namespace camlift
