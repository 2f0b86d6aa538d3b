// SPDX-License-Identifier: Apache-2.0
#include "util/option_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "i18n/language_list.h"
#include "platform/locale.h"
#include "platform/paths.h"
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
