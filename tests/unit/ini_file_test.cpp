// SPDX-License-Identifier: Apache-2.0
#include "util/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace camlift {
namespace {

using test::ReadFile;
using test::TTempFolder;
using test::WriteFile;

// One text exercising every reading rule; the table below reads from it.
constexpr std::string_view kText =
    "; leading comment\r\n"
    "stray=before any section\r\n"
    "[Main]\r\n"
    "plain=value\r\n"
    "  spaced  =  padded value  \r\n"
    "Upper=upper case key\r\n"
    "dq=\"  quoted blanks  \"\r\n"
    "sq='single'\r\n"
    "half=\"only one quote\r\n"
    "mixed=\"mixed'\r\n"
    "inner=a \"b\" c\r\n"
    "empty=\r\n"
    "  ; indented comment=not an entry\r\n"
    ";commented=no\r\n"
    "twice=first\r\n"
    "twice=second\r\n"
    "dollar=$b$bkept as bytes\r\n"
    "gbk=IP\xA3\xBA\r\n"
    "no equals sign\r\n"
    "=no key\r\n"
    "eq=a=b\r\n"
    "[ Spaced Section ]\r\n"
    "k=v\r\n"
    "[main]\r\n"
    "late=in the second [Main]\r\n"
    "plain=second section value\r\n"
    "[Other]\n"
    "lf=line ends in LF only\n"
    "last=no line end";

TEST(IniRead, ProfileReaderRules) {
  const TIniData ini = ParseIni(kText);
  struct Case {
    std::string_view section, key, expected;
  };
  const Case cases[] = {
      {"Main", "plain", "value"},
      {"Main", "spaced", "padded value"},   // blanks around key and value dropped
      {"MAIN", "UPPER", "upper case key"},  // names ignore case
      {"main", "upper", "upper case key"},
      {"Main", "dq", "  quoted blanks  "},  // a quote pair goes, what it held stays
      {"Main", "sq", "single"},
      {"Main", "half", "\"only one quote"},  // no pair, nothing removed
      {"Main", "mixed", "\"mixed'"},
      {"Main", "inner", "a \"b\" c"},
      {"Main", "empty", ""},
      {"Main", "twice", "first"},               // first entry wins
      {"Main", "dollar", "$b$bkept as bytes"},  // escapes are not the reader's business
      {"Main", "gbk", "IP\xA3\xBA"},
      {"Main", "eq", "a=b"},  // only the first "=" splits
      {"Spaced Section", "k", "v"},
      {"Other", "lf", "line ends in LF only"},
      {"Other", "last", "no line end"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + std::string(c.key));
    const auto value = ini.Find(c.section, c.key);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(c.expected, *value);
  }
  const std::pair<std::string_view, std::string_view> absent[] = {
      {"Main", "commented"},      {"Main", "; indented comment"},
      {"Main", "no equals sign"}, {"Main", ""},
      {"Main", "late"},           {"", "stray"},
      {"Missing", "plain"},       {"Main", "missing"},
  };
  for (const auto& [section, key] : absent) {
    EXPECT_FALSE(ini.Find(section, key).has_value()) << section << "/" << key;
  }
}

TEST(IniRead, DefaultsLoseTrailingBlanksOnly) {
  const TIniData ini = ParseIni("[s]\nk=v\n");
  EXPECT_EQ("  default", ini.ReadString("s", "missing", "  default \t "));
  EXPECT_EQ("", ini.ReadString("nosection", "k", "   "));
  EXPECT_EQ("v", ini.ReadString("S", "K", "default"));
}

TEST(IniRead, ValuesAreCutAt2047Bytes) {
  const std::string long_value(3000, 'x');
  const TIniData ini = ParseIni("[s]\nlong=" + long_value + "\nquoted=\"" + long_value + "\"\n");
  EXPECT_EQ(std::string(2047, 'x'), *ini.Find("s", "long"));
  EXPECT_EQ(std::string(2047, 'x'), *ini.Find("s", "quoted"));
}

TEST(IniRead, ListsSectionsAndKeysOnceInFileOrder) {
  const TIniData ini = ParseIni("\xEF\xBB\xBF[B]\nx=1\nY=2\ny=3\n[a]\n[b]\nz=4\n");
  EXPECT_EQ((std::vector<std::string>{"B", "a"}), ini.SectionNames());
  EXPECT_EQ((std::vector<std::string>{"x", "Y"}), ini.KeyNames("b"));
  EXPECT_TRUE(ini.SectionExists("A"));
  EXPECT_TRUE(ini.ValueExists("b", "y"));
  EXPECT_FALSE(ini.ValueExists("b", "z"));  // only the first [B] is looked at
}

TEST(IniWrite, KeepsEveryOtherLineAsItWas) {
  const std::string text =
      "; options\r\n[Global]\r\nlan = cn\r\nlan=shadowed\r\nother=1\r\n\r\n[Next]\r\nk=v";
  // The first entry of the key is replaced (its section found without regard to case); the
  // shadowed one behind it stays.
  EXPECT_EQ("; options\r\n[Global]\r\nlan=en\r\nlan=shadowed\r\nother=1\r\n\r\n[Next]\r\nk=v",
            IniWithValue(text, "GLOBAL", "lan", "en").value());
  // A new key goes behind the last entry of its section, before the blank line.
  EXPECT_EQ(
      "; options\r\n[Global]\r\nlan = cn\r\nlan=shadowed\r\nother=1\r\nnew=x\r\n\r\n"
      "[Next]\r\nk=v",
      IniWithValue(text, "global", "new", "x").value());
  // A new section goes at the end; the last line gets the file's own line end first.
  EXPECT_EQ(text + "\r\n[Added]\r\nk=v\r\n", IniWithValue(text, "Added", "k", "v").value());
  EXPECT_EQ("[Global]\nlan=b5\n", IniWithValue("", "Global", "lan", "b5").value());
  EXPECT_EQ("[s]\nk=2", IniWithValue("[s]\nk=1", "s", "k", "2").value());
}

TEST(IniWrite, ValuesReadBackAsWritten) {
  const std::string_view values[] = {"plain", "  edges  ", "\"quoted\"", "'single'",
                                     "",      "a=b;c",     "$b$n",       "\xA3\xBA"};
  for (const std::string_view value : values) {
    const auto text = IniWithValue("[s]\n", "s", "k", value);
    ASSERT_TRUE(text.has_value()) << value;
    EXPECT_EQ(value, ParseIni(*text).Find("s", "k").value()) << *text;
  }
}

TEST(IniWrite, RefusesWhatCannotBeRepresented) {
  struct Case {
    std::string_view section, key, value;
  };
  const Case cases[] = {
      {"", "k", "v"},     {"s", "", "v"},    {"s", "k", "two\nlines"},
      {"s", "k", "cr\r"}, {"s\n", "k", "v"}, {"s]", "k", "v"},
      {"s", "a=b", "v"},  {"s", ";k", "v"},  {"s", "[k", "v"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(IniWithValue("", c.section, c.key, c.value).has_value())
        << c.section << "/" << c.key;
  }
  EXPECT_FALSE(IniWithValue("", "s", "k", std::string(3000, 'x')).has_value());
}

TEST(IniFile, WriteStringUpdatesFileAndReaderAtOnce) {
  TTempFolder dir;
  const std::string path = dir.path() + "option.ini";
  WriteFile(path, "; keep me\r\n[Global]\r\nlan=cn\r\n[Other]\r\nx=1\r\n");
  ::chmod(path.c_str(), 0640);
  TIniFile ini(path);
  EXPECT_EQ("cn", ini.ReadString("Global", "lan", ""));
  ASSERT_TRUE(ini.WriteString("Global", "lan", "en"));
  EXPECT_EQ("en", ini.ReadString("Global", "lan", ""));
  EXPECT_EQ("; keep me\r\n[Global]\r\nlan=en\r\n[Other]\r\nx=1\r\n", ReadFile(path));
  EXPECT_EQ("en", TIniFile(path).ReadString("global", "LAN", ""));
  struct stat st {};
  ASSERT_EQ(0, ::stat(path.c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 0777u);
  // No temporary files stay behind.
  EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(dir.path()),
                             std::filesystem::directory_iterator()));
}

TEST(IniFile, MissingFileReadsAsDefaultsAndIsCreatedOnWrite) {
  TTempFolder dir;
  const std::string path = dir.path() + "new.ini";
  TIniFile ini(path);
  EXPECT_EQ("d", ini.ReadString("Global", "lan", "d "));
  EXPECT_FALSE(ini.SectionExists("Global"));
  ASSERT_TRUE(ini.WriteString("Global", "lan", "b5"));
  EXPECT_EQ("[Global]\nlan=b5\n", ReadFile(path));
  EXPECT_FALSE(TIniFile(dir.path() + "no/such/folder.ini").WriteString("s", "k", "v"));
}

TEST(IniFile, WritesThroughASymbolicLink) {
  TTempFolder dir;
  WriteFile(dir.path() + "real.ini", "[s]\nk=1\n");
  std::filesystem::create_symlink(dir.path() + "real.ini", dir.path() + "link.ini");
  ASSERT_TRUE(TIniFile(dir.path() + "link.ini").WriteString("s", "k", "2"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.path() + "link.ini"));
  EXPECT_EQ("[s]\nk=2\n", ReadFile(dir.path() + "real.ini"));
}

}  // namespace
}  // namespace camlift
