#include "util/text.h"

#include <gtest/gtest.h>

namespace camlift {
namespace {

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

}  // namespace
}  // namespace camlift
