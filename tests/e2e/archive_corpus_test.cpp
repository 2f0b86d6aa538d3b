// SPDX-License-Identifier: Apache-2.0
// Hostile firmware archives served by the repository with their true checksum in the catalogue:
// each one also holds the firmware the camera expects, so that an archive let through would
// reach the camera. Each must be refused whole: exit 1 with "Failed to get ROM for upgrading.",
// nothing written outside the work folder's "Bin/" (and nothing in it either), no upload.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "e2e_site.h"
#include "repository/zip_extract.h"
#include "support/zip_builder.h"
#include "util/md5.h"

namespace camlift::test {
namespace {

namespace fs = std::filesystem;
using sim::TFirmwareKind;
using sim::TSimSeries;

void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Rewrites a field of the local header and of the central directory record of an entry: the
// uncompressed size (local offset 22, central 24) or the CRC (local 14, central 16).
enum class TField { Size, Crc };
void PatchEntry(const std::string& path, const std::string& name, TField field,
                std::uint32_t value) {
  std::string bytes = ReadFile(path);
  const std::pair<std::string, std::size_t> kinds[] = {{std::string("PK\x03\x04", 4), 30},
                                                       {std::string("PK\x01\x02", 4), 46}};
  for (const auto& [signature, name_at] : kinds) {
    const std::size_t offset =
        signature[2] == 3 ? (field == TField::Size ? 22 : 14) : (field == TField::Size ? 24 : 16);
    for (std::size_t at = bytes.find(signature); at != std::string::npos;
         at = bytes.find(signature, at + 4)) {
      if (bytes.compare(at + name_at, name.size(), name) == 0) Put32(bytes, at + offset, value);
    }
  }
  WriteFile(path, bytes);
}

struct TCorpusCase {
  std::string name;
  // Extra entries beside the expected firmware (or instead of it, see below).
  std::vector<TZipEntry> entries;
  std::function<void(const std::string& archive, const std::string& firmware_name)> patch;
};

class ArchiveCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::TCameraConfig config;
    config.series = TSimSeries::P;
    config.password = "531642";
    camera_ = &site_.AddCamera(config);
    added_ = site_.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "SIM100", "1.0.0.2");
    // The good firmware, taken out of the archive the repository tool made.
    const std::string unpacked = site_.Root() + "good/";
    std::string error;
    ASSERT_TRUE(ExtractZipSafely(added_.archive_path, unpacked, error)) << error;
    firmware_ = ReadFile(unpacked + added_.entry_name);
    site_.StartRepository();
  }

  // Replaces the served archive and its checksum in the catalogue.
  void Serve(const TCorpusCase& c) {
    std::vector<TZipEntry> entries = {{added_.entry_name, firmware_}};
    entries.insert(entries.end(), c.entries.begin(), c.entries.end());
    ASSERT_TRUE(WriteZip(added_.archive_path, entries)) << c.name;
    if (c.patch) c.patch(added_.archive_path, added_.entry_name);
    const std::string md5 = FileMd5Hex(added_.archive_path).value_or("");
    WriteFile(added_.catalogue_path,
              sim::SetIniValue(ReadFile(added_.catalogue_path), "SIM100", "MD5", md5));
  }

  // Every file and folder below the test's root, except those the run may make.
  std::vector<std::string> Written() const {
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(site_.Root(), ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      const std::string path = it->path().string();
      found.push_back(path.substr(site_.Root().size()));
    }
    return found;
  }

  TE2eSite site_;
  sim::TSimCamera* camera_ = nullptr;
  sim::TRepoAddResult added_;
  std::string firmware_;
};

TEST_F(ArchiveCorpus, EveryHostileArchiveIsRefusedWhole) {
  const std::string absolute = site_.Root() + "abs/x";
  const TCorpusCase cases[] = {
      {"dot-dot", {{"../x", "evil"}}, nullptr},
      {"absolute", {{absolute, "evil"}}, nullptr},
      {"down and out", {{"a/../../x", "evil"}}, nullptr},
      {"dots first", {{"./././a/../../x", "evil"}}, nullptr},
      {"backslash dot-dot", {{"..\\x", "evil"}}, nullptr},
      {"backslash down and out", {{"a\\..\\..\\x", "evil"}}, nullptr},
      {"backslash absolute", {{"\\abs\\x", "evil"}}, nullptr},
      {"drive letter", {{"C:\\x", "evil"}}, nullptr},
      {"symlink", {{"link", site_.Root(), true}, {"link/x", "evil"}}, nullptr},
      {"lone symlink", {{"fw.lnk", "/etc/passwd", true}}, nullptr},
      // A naive "starts with the destination" test takes ".../Bin-evil" for ".../Bin".
      {"sibling prefix", {{"../Bin-evil/x", "evil"}}, nullptr},
      // The second copy would replace the first after it was checked.
      {"duplicate", {{added_.entry_name, "a firmware nobody checked"}}, nullptr},
      {"bad CRC",
       {},
       [](const std::string& archive, const std::string& name) {
         PatchEntry(archive, name, TField::Crc, 0x12345678);
       }},
      // A bomb that declares its size: 4 MiB of zeros claimed as 2 GiB.
      {"declared bomb",
       {{"zeros", std::string(4 << 20, '\0')}},
       [](const std::string& archive, const std::string&) {
         PatchEntry(archive, "zeros", TField::Size, 0x7FFFFFFF);
       }},
      // A bomb that lies: 4 MiB of zeros claimed as 1000 bytes.
      {"lying bomb",
       {{"zeros", std::string(4 << 20, '\0')}},
       [](const std::string& archive, const std::string&) {
         PatchEntry(archive, "zeros", TField::Size, 1000);
       }},
  };
  const std::vector<std::string> before = Written();
  for (const TCorpusCase& c : cases) {
    Serve(c);
    const TProcessResult run = site_.Upgrade(*camera_);
    EXPECT_EQ(1, run.exit_code) << c.name << run.out << run.err;
    const auto log = LogTexts(run.out);
    ASSERT_GE(log.size(), 2u) << c.name;
    // The failure, then why: the archive does not yield the firmware it names.
    EXPECT_EQ("Failed to get ROM for upgrading.", log[log.size() - 2]) << c.name << run.out;
    EXPECT_EQ(
        "The archive fw_P_sys_1.0.0.2.zip does not hold the firmware file "
        "fw_P_sys_1.0.0.2.bin.",
        log.back())
        << c.name << run.out;
    EXPECT_TRUE(site_.Uploads().empty()) << c.name;

    // Nothing new but the catalogue copy, the per-run download folder and its archive, and the
    // record of the run; "Bin/" is there but empty.
    for (const std::string& path : Written()) {
      if (std::find(before.begin(), before.end(), path) != before.end()) continue;
      const bool archive = path.starts_with("data/") && path.ends_with(".zip") &&
                           path.find('/', 5) == std::string::npos;
      const bool allowed = path == "data/Firmware.ini" || path == "data/Bin" ||
                           path == "data/history.jsonl" || archive ||
                           path.starts_with("data/download") || path.starts_with("config");
      EXPECT_TRUE(allowed) << c.name << ": the run wrote " << path;
    }
    EXPECT_FALSE(fs::exists(absolute)) << c.name;
  }
  for (const auto& entry : site_.Records()) {
    EXPECT_NE("POST", entry.value("method", "")) << entry.dump();
  }
}

// The same firmware in a plain archive goes through: the refusals above are the hostile parts.
TEST_F(ArchiveCorpus, ThePlainArchiveIsTaken) {
  Serve({"plain", {{"notes/readme.txt", "release notes"}}, nullptr});
  const TProcessResult run = site_.Upgrade(*camera_);
  EXPECT_EQ(0, run.exit_code) << run.out << run.err;
  EXPECT_EQ(1u, site_.Uploads().size());
  const std::string md5 = FileMd5Hex(added_.archive_path).value_or("");
  EXPECT_TRUE(fs::exists(site_.DataDir() + "Bin/" + md5 + "/notes/readme.txt"));
}

}  // namespace
}  // namespace camlift::test
