// SPDX-License-Identifier: Apache-2.0
#include "util/text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "util/text_fields.h"

namespace camlift {
namespace {

using namespace std::string_literals;

TEST(Text, VersionWithoutV) {
  // The window's upgrade, the status read and the list's typed-in address all read a camera's
  // version by this one rule.
  const struct {
    const char* page_value;
    const char* version;
  } cases[] = {
      {"v2.1.0.3", "2.1.0.3"},       // series M and P
      {" v1.2.3.4\r\n", "1.2.3.4"},  // blanks and line ends around it
      {"V1.2.3.4", "V1.2.3.4"},      // an upper-case V stays
      {"1.2v3", "1.23"},             // every lower-case v goes, not only a leading one
      {"vv", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.version, VersionWithoutV(c.page_value)) << c.page_value;
}

// The simulator lowers and trims with these same rules (catalogue sections, repository folders,
// headers), so an end-to-end run cannot see a fault in them: they are held to literal bytes here.
TEST(Text, LowerAsciiAndTrimText) {
  const struct {
    std::string in;
    std::string lowered;
    std::string trimmed;
  } cases[] = {
      {"AZaz09", "azaz09", "AZaz09"},
      // Only A-Z change: the neighbours of the letter ranges and bytes of UTF-8 or a code page
      // stay.
      {"@[`{\xC3\x84\xA0", "@[`{\xC3\x84\xA0", "@[`{\xC3\x84\xA0"},
      // Blanks and control bytes go at both ends; DEL and bytes above 0x7F are not blanks.
      {" \t\x01"
       "Ab C\r\n",
       " \t\x01"
       "ab c\r\n",
       "Ab C"},
      {"\xA0x\x7F", "\xA0x\x7F", "\xA0x\x7F"},
      {"\r\n", "\r\n", ""},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.lowered, LowerAscii(c.in)) << c.in;
    EXPECT_EQ(c.trimmed, TrimText(c.in)) << c.in;
  }
  EXPECT_EQ('q', LowerAscii('Q'));
  EXPECT_EQ('\xC4', LowerAscii('\xC4'));
}

// What a camera or a repository says reaches a terminal or a log only as one harmless line.
TEST(Text, ShownTextCleansEveryControlCharacter) {
  const std::pair<std::string, std::string> cases[] = {
      {"cam \x1b[2J\x1b]0;owned\x07", "cam  [2J ]0;owned "},
      {"1.2.3\rOK", "1.2.3 OK"},
      {"a\nb\tc\0d"s, "a b c d"},
      {"\x7f", " "},
      {"\xc2\x9b"
       "31m",
       " 31m"},  // U+009B, the 8-bit CSI, as UTF-8
      {"\x9b"
       "31m",
       "\xef\xbf\xbd"
       "31m"},                                             // the bare byte is no UTF-8 at all
      {"\xc2\xa0 \xe5\x89\x8d", "\xc2\xa0 \xe5\x89\x8d"},  // U+00A0 and CJK stay
      // Bidirectional controls: U+202E turns "exe.txt" around, U+2066..U+2069 isolate, U+200E,
      // U+200F and U+061C mark; U+2028 and U+2029 break lines.
      {"cam\xe2\x80\xaetxt.exe", "cam txt.exe"},
      {"\xe2\x80\xaa\xe2\x80\xab\xe2\x80\xac\xe2\x80\xad", "    "},
      {"a\xe2\x81\xa6"
       "b\xe2\x81\xa7"
       "c\xe2\x81\xa8"
       "d\xe2\x81\xa9",
       "a b c d "},
      {"\xe2\x80\x8e\xe2\x80\x8f\xd8\x9c", "   "},
      {"1\xe2\x80\xa8"
       "2\xe2\x80\xa9"
       "3",
       "1 2 3"},
      // Their neighbours stay: U+200D (the joiner of emoji), U+2030, U+2065, U+061B.
      {"\xe2\x80\x8d\xe2\x80\xb0\xe2\x81\xa5\xd8\x9b",
       "\xe2\x80\x8d\xe2\x80\xb0\xe2\x81\xa5\xd8\x9b"},
      {"", ""},
  };
  for (const auto& [raw, shown] : cases) EXPECT_EQ(shown, ShownText(raw)) << raw;
}

TEST(Text, UrlAccountsAreLeftOut) {
  const std::pair<const char*, const char*> cases[] = {
      {"http://user:pw@127.0.0.1:8080/FM/", "http://***@127.0.0.1:8080/FM/"},
      {"https://u%40x:p@ss@repo.example/FM/system/firmware.txt.sig",
       "https://***@repo.example/FM/system/firmware.txt.sig"},
      {"refused: http://a:b@h/x and https://c:d@k/y",
       "refused: http://***@h/x and https://***@k/y"},
      {"http://h/FM/?next=a@b", "http://h/FM/?next=a@b"},  // an @ after the host is no account
      {"http://only-user@h", "http://***@h"},
      {"http://h:81/", "http://h:81/"},
      {"no url at all: user@host", "no url at all: user@host"},
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(shown, WithoutUrlAccounts(text)) << text;
}

}  // namespace
}  // namespace camlift
