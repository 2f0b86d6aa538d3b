// SPDX-License-Identifier: Apache-2.0
// The digest every firmware check, CTP transfer and simulated camera relies on, against the
// published RFC 1321 test suite: the other tests compare digests made by this same code.
#include "util/md5.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace camlift {
namespace {

struct Vector {
  std::string text;
  const char* digest;
};

const Vector kSuite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
     "0",
     "57edf4a22be3c955ac49da2e2107b67a"},
    // Larger than any read block of the file digest.
    {std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
};

TEST(Md5, TextsFilesAndPiecesGiveThePublishedDigests) {
  test::TTempFolder temp;
  for (const Vector& v : kSuite) {
    SCOPED_TRACE(v.text.substr(0, 20));
    EXPECT_EQ(v.digest, Md5Hex(v.text));

    const std::string path = temp.path() + "file.bin";
    test::WriteFile(path, v.text);
    EXPECT_EQ(v.digest, FileMd5Hex(path).value_or("unreadable"));

    // Fed in uneven pieces; Final starts over, so the same object gives the same digest twice.
    TMd5 md5;
    for (int round = 0; round < 2; ++round) {
      for (std::size_t at = 0; at < v.text.size(); at += 7) {
        md5.Update(v.text.data() + at, std::min<std::size_t>(7, v.text.size() - at));
      }
      EXPECT_EQ(v.digest, HexLower(md5.Final())) << "round " << round;
    }
  }
  EXPECT_FALSE(FileMd5Hex(temp.path() + "missing.bin").has_value());
}

}  // namespace
}  // namespace camlift
