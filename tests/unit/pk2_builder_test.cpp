// SPDX-License-Identifier: Apache-2.0
// The packages the simulator builds share the package layout and scrambler with the client
// (ctp/pk2_format.h), so a fault there would be mirrored on both sides and pass every
// end-to-end run: here a small package is compared with its bytes written out by hand.
#include "pk2_builder.h"

#include <gtest/gtest.h>

#include "ctp/pk2_format.h"

namespace camlift {
namespace {

// A FILE entry "a" holding "xyz" and a CMD entry "go".
const std::vector<std::uint8_t> kPackage = {
    // header: magic, 20 bytes nobody reads (the builder's name), entry count 2
    0x50, 0x4B, 0x32, 0x00, 'c', 'a', 'm', 'l', 'i', 'f', 't', '-', 's', 'i', 'm', ' ', 'p', 'k',
    '2', ' ', 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
    // entry header: type "FILE", zeros, body length 12 at offset 20
    0x46, 0x49, 0x4C, 0x45, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x00,
    // name length 1, "a", data length 3, "xyz" XOR 5C E2 17
    0x01, 0x00, 0x00, 0x00, 0x61, 0x03, 0x00, 0x00, 0x00, 0x24, 0x9B, 0x6D,
    // entry header: type "CMD ", zeros, body length 2
    0x43, 0x4D, 0x44, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
    // "go" XOR 5C E2
    0x3B, 0x8D};

TEST(Pk2Builder, WritesTheLayoutByteForByte) {
  const std::string built = sim::TPk2Builder().AddFile("a", "xyz").AddCommand("go").Bytes();
  EXPECT_EQ(kPackage, std::vector<std::uint8_t>(built.begin(), built.end()));
}

// The client's reader on the same bytes: what the camera is sent comes out of them.
TEST(Pk2Builder, ClientReadsTheHandWrittenPackage) {
  const TPk2Report report = InspectPk2(kPackage);
  ASSERT_TRUE(report.ok) << report.error;
  EXPECT_EQ(2, report.count);
  ASSERT_EQ(2u, report.entries.size());
  EXPECT_EQ("FILE", report.entries[0].type);
  EXPECT_EQ("a", report.entries[0].name);
  EXPECT_EQ(28, report.entries[0].offset);
  EXPECT_EQ(3, report.entries[0].size);
  EXPECT_EQ("d16fb36f0911f878998c136191af705e", report.entries[0].md5);  // MD5 of "xyz"
  EXPECT_EQ("CMD ", report.entries[1].type);
  EXPECT_EQ(64, report.entries[1].offset);
  EXPECT_EQ("go", report.entries[1].command);
  EXPECT_EQ(0, report.trailing);
}

}  // namespace
}  // namespace camlift
