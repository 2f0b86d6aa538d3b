// SPDX-License-Identifier: Apache-2.0
// The package format: scrambling, the inspector's checks, and the packages the simulator builds.
#include "ctp/pk2_format.h"

#include <gtest/gtest.h>

#include "pk2_builder.h"
#include "sim_firmware.h"
#include "support/temp_folder.h"
#include "util/md5.h"

namespace camlift {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

TEST(Pk2Format, ScrambleIsXorWithTheKeyByPosition) {
  // The package key, as the cameras' packages are stored with it.
  const std::uint8_t key[8] = {0x5C, 0xE2, 0x17, 0x9B, 0x04, 0xD8, 0x6F, 0x3A};
  std::vector<std::uint8_t> data(20, 0);
  Pk2Scramble(data);
  for (std::size_t j = 0; j < data.size(); ++j) EXPECT_EQ(key[j % 8], data[j]) << j;
  // Counting from a later position, as a block does that starts in the middle of the data.
  std::vector<std::uint8_t> part(4, 0);
  Pk2Scramble(part, 1403);
  EXPECT_EQ(0x9B, part[0]);
  EXPECT_EQ(0x6F, part[3]);
  // Scrambling twice gives the data back.
  Pk2Scramble(data);
  EXPECT_EQ(std::vector<std::uint8_t>(20, 0), data);
}

// Whole words and a tail, starting inside the key: the key bytes 5C E2 17 9B 04 D8 6F 3A
// continue from where the data starts.
TEST(Pk2Format, ScrambleFromAnyPositionOverWordsAndTail) {
  std::vector<std::uint8_t> data(19, 0);
  Pk2Scramble(data, 5);
  const std::vector<std::uint8_t> expected = {0xD8, 0x6F, 0x3A, 0x5C, 0xE2, 0x17, 0x9B,
                                              0x04, 0xD8, 0x6F, 0x3A, 0x5C, 0xE2, 0x17,
                                              0x9B, 0x04, 0xD8, 0x6F, 0x3A};
  EXPECT_EQ(expected, data);
}

// The simulator's packages and the reader share the layout: one package byte for byte.
TEST(Pk2Format, SimulatedPackageBytes) {
  const std::string expected =
      std::string("PK2\0camlift-sim pk2 \0\0\0\0\x02\0\0\0", 28) + std::string("FILE", 4) +
      std::string(16, '\0') + std::string("\x0D\0\0\0\x02\0\0\0ab\x03\0\0\0\x24\x9B\x6D", 17) +
      std::string("CMD ", 4) + std::string(16, '\0') + std::string("\x02\0\0\0\x3B\x8D", 6);
  EXPECT_EQ(expected, sim::TPk2Builder().AddFile("ab", "xyz").AddCommand("go").Bytes());
}

TEST(Pk2Format, InspectorListsEntries) {
  const std::string package = sim::TPk2Builder()
                                  .AddFile("sys.img", "hello")
                                  .AddRaw("NOTE", "12345")
                                  .AddCommand("upgrade sys.img")
                                  .Bytes();
  // The stored data is scrambled.
  EXPECT_EQ(std::string::npos, package.find("hello"));
  const TPk2Report report = InspectPk2(Bytes(package + "tail"));
  ASSERT_TRUE(report.ok) << report.error;
  EXPECT_EQ(3, report.count);
  ASSERT_EQ(3u, report.entries.size());
  EXPECT_EQ("FILE", report.entries[0].type);
  EXPECT_EQ("sys.img", report.entries[0].name);
  EXPECT_EQ(5, report.entries[0].size);
  EXPECT_EQ(Md5Hex("hello"), report.entries[0].md5);
  EXPECT_EQ(28, report.entries[0].offset);
  EXPECT_TRUE(report.entries[1].skipped);
  EXPECT_EQ("CMD ", report.entries[2].type);
  EXPECT_EQ("upgrade sys.img", report.entries[2].command);
  EXPECT_EQ(4, report.trailing);
}

TEST(Pk2Format, InspectorRefusesMalformedPackages) {
  const std::string file = sim::TPk2Builder().AddFile("a", "xyz").Bytes();
  auto with_count = [](std::string bytes, char count) {
    bytes[24] = count;
    return bytes;
  };
  auto patched = [](std::string bytes, std::size_t at, std::string_view value) {
    return bytes.replace(at, value.size(), value);
  };
  struct Case {
    const char* what;
    std::string bytes;
    const char* error_part;
  };
  const Case cases[] = {
      {"short header", std::string("PK2\0", 4), "fewer than the 28-byte"},
      {"wrong magic", "PK2X" + file.substr(4), "does not start with"},
      {"negative count", patched(file, 24, "\xff\xff\xff\xff"), "is negative"},
      {"more entries than present", with_count(file, 2), "entry 2 at offset"},
      {"data past the end", file.substr(0, file.size() - 1), "announces 3 data bytes"},
      {"empty name", patched(file, 52, std::string("\0\0\0\0", 4)), "outside 1 to 255"},
      {"name of 256 bytes", sim::TPk2Builder().AddFile(std::string(256, 'n'), "x").Bytes(),
       "outside 1 to 255"},
      {"file without data", sim::TPk2Builder().AddFile("a", "").Bytes(), "without data"},
      {"command too long", sim::TPk2Builder().AddCommand(std::string(2039, 'c')).Bytes(),
       "more than the 2038"},
      {"negative skip",
       patched(sim::TPk2Builder().AddRaw("ABCD", "").Bytes(), 48, "\xff\xff\xff\xff"),
       "is negative"},
  };
  for (const Case& c : cases) {
    const TPk2Report report = InspectPk2(Bytes(c.bytes));
    EXPECT_FALSE(report.ok) << c.what;
    EXPECT_NE(std::string::npos, report.error.find(c.error_part)) << c.what << ": " << report.error;
  }
  EXPECT_TRUE(InspectPk2(Bytes(sim::TPk2Builder().AddCommand(std::string(2038, 'c')).Bytes())).ok);
  EXPECT_TRUE(InspectPk2(Bytes(sim::TPk2Builder().Bytes())).ok);
}

TEST(Pk2Format, SimulatedPackageCarriesItsFirmware) {
  test::TTempFolder folder;
  const std::string path = folder.path() + "fw.pk2";
  std::string error;
  ASSERT_TRUE(sim::WriteSimPackage(
      path, {sim::TSimSeries::K, sim::TFirmwareKind::System, "2.3.9.4"}, 100000, error))
      << error;
  const std::string bytes = test::ReadFile(path);
  const TPk2Report report = InspectPk2(Bytes(bytes));
  ASSERT_TRUE(report.ok) << report.error;
  ASSERT_EQ(2u, report.entries.size());
  EXPECT_EQ("sys.img", report.entries[0].name);
  EXPECT_EQ(100000, report.entries[0].size);
  EXPECT_EQ("upgrade sys.img", report.entries[1].command);

  // The unscrambled data starts with the simulated firmware header of series K.
  const std::size_t data_at = 28 + 24 + 4 + 7 + 4;
  std::string head = bytes.substr(data_at, 4096);
  Pk2Scramble(std::span<char>(head.data(), head.size()));
  const auto info = sim::ReadSimFirmwareInfo(std::span<const char>(head.data(), head.size()));
  ASSERT_TRUE(info);
  EXPECT_EQ(sim::TSimSeries::K, info->series);
  EXPECT_EQ("2.3.9.4", info->version);
}

}  // namespace
}  // namespace camlift
