// SPDX-License-Identifier: Apache-2.0
#include "util/base64.h"

#include <gtest/gtest.h>

namespace camlift {
namespace {

TEST(Base64, EncodesPaddingAndLineBreaks) {
  struct Case {
    std::size_t bytes;
    std::size_t length;
    std::size_t breaks;
  };
  const Case cases[] = {{1, 4, 0},   {2, 4, 0},     {3, 4, 0},    {57, 76, 0},
                        {58, 82, 1}, {114, 154, 1}, {115, 160, 2}};
  for (const Case& c : cases) {
    const std::string text = Base64Encode(std::string(c.bytes, 'x'));
    EXPECT_EQ(c.length, text.size()) << c.bytes;
    EXPECT_EQ(c.length, Base64EncodedLength(static_cast<std::uint32_t>(c.bytes))) << c.bytes;
    std::size_t breaks = 0;
    for (std::size_t p = 0; (p = text.find("\r\n", p)) != std::string::npos; p += 2) ++breaks;
    EXPECT_EQ(c.breaks, breaks) << c.bytes;
    EXPECT_NE("\r\n", text.substr(text.size() - 2));
  }
}

TEST(Base64, KnownValues) {
  EXPECT_EQ("", Base64Encode(""));
  EXPECT_EQ("YQ==", Base64Encode("a"));
  EXPECT_EQ("YWI=", Base64Encode("ab"));
  EXPECT_EQ("YWJj", Base64Encode("abc"));
  EXPECT_EQ("YWRtaW46NTMxNjQy", Base64Encode("admin:531642"));
  EXPECT_EQ("/+8=", Base64Encode("\xff\xef"));
  const std::string line = Base64Encode(std::string(58, 'x'));
  EXPECT_EQ(76u, line.find("\r\n"));
}

TEST(Base64, OneLineFormHasNoBreaks) {
  const std::string long_input(200, 'q');
  const std::string one = Base64EncodeOneLine(long_input);
  EXPECT_EQ(std::string::npos, one.find('\r'));
  std::string mime = Base64Encode(long_input);
  std::erase(mime, '\r');
  std::erase(mime, '\n');
  EXPECT_EQ(mime, one);
}

}  // namespace
}  // namespace camlift
