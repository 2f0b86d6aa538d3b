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

}  // namespace
}  // namespace camlift
