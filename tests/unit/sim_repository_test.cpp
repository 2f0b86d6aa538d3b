// SPDX-License-Identifier: Apache-2.0
// The repository tool and server of camlift-sim: the catalogue must describe the archives it
// sits beside, and each fault must damage exactly what it says.
#include "sim_repository.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <zip.h>

#include <filesystem>
#include <memory>
#include <string>

#include "sim_digest.h"
#include "sim_firmware.h"
#include "support/temp_folder.h"

namespace camlift::sim {
namespace {

// The names and bytes of every entry of a ZIP archive held in memory.
std::vector<std::pair<std::string, std::string>> ZipEntries(const std::string& bytes) {
  std::vector<std::pair<std::string, std::string>> out;
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  if (!source) return out;
  zip_t* zip = zip_open_from_source(source, ZIP_RDONLY, &error);
  if (!zip) {
    zip_source_free(source);
    return out;
  }
  for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(zip, static_cast<zip_uint64_t>(i), 0, &st);
    std::string data(st.size, '\0');
    zip_file_t* file = zip_fopen_index(zip, static_cast<zip_uint64_t>(i), 0);
    if (file) {
      zip_fread(file, data.data(), st.size);
      zip_fclose(file);
    }
    out.emplace_back(st.name, data);
  }
  zip_close(zip);
  return out;
}

TRepoAddOptions Options(const std::string& root) {
  TRepoAddOptions o;
  o.root = root;
  o.folder = "system";
  o.section = "P100";
  o.kind = TFirmwareKind::System;
  o.series = TSimSeries::P;
  o.version = "2.0.0.1";
  o.archive_name = "fw_P_2.0.0.1.zip";
  o.size = 10000;
  return o;
}

TEST(SimRepository, AddWritesArchiveAndMatchingCatalogue) {
  test::TTempFolder temp;
  TRepoAddResult result;
  std::string error;
  ASSERT_TRUE(RepoAdd(Options(temp.path()), result, error)) << error;

  const std::string archive = test::ReadFile(temp.path() + "system/fw_P_2.0.0.1.zip");
  const std::string catalogue = test::ReadFile(temp.path() + "system/firmware.txt");
  EXPECT_EQ(Md5Hex(archive), result.md5);
  EXPECT_EQ(Md5Hex(archive), GetIniValue(catalogue, "p100", "md5"));
  EXPECT_EQ("2.0.0.1", GetIniValue(catalogue, "P100", "SysVer"));
  EXPECT_EQ("fw_P_2.0.0.1.zip", GetIniValue(catalogue, "P100", "SysFile"));
  EXPECT_EQ("", GetIniValue(catalogue, "P100", "NO"));
  EXPECT_NE(std::string::npos, catalogue.find("\r\n"));

  const auto entries = ZipEntries(archive);
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ("fw_P_2.0.0.1.bin", entries[0].first);
  EXPECT_EQ(10000u, entries[0].second.size());
  const auto info = ReadSimFirmwareInfo(entries[0].second);
  ASSERT_TRUE(info);
  EXPECT_EQ("2.0.0.1", info->version);

  // A UI firmware for the OEM folder (lower-cased), and a newer system firmware for the same
  // section: the section is updated in place, the other one stays.
  TRepoAddOptions ui = Options(temp.path());
  ui.folder = "ACME";
  ui.kind = TFirmwareKind::Ui;
  ui.version = "3.0.0.2";
  ui.archive_name = "";
  ui.excluded = "3.0.0.0";
  ASSERT_TRUE(RepoAdd(ui, result, error)) << error;
  const std::string ui_catalogue = test::ReadFile(temp.path() + "acme/firmware.txt");
  EXPECT_EQ("3.0.0.2", GetIniValue(ui_catalogue, "P100", "AppVer"));
  EXPECT_EQ("fw_P_ui_3.0.0.2.zip", GetIniValue(ui_catalogue, "P100", "AppFile"));
  EXPECT_EQ("3.0.0.0", GetIniValue(ui_catalogue, "P100", "NO"));

  TRepoAddOptions other = Options(temp.path());
  other.section = "P200";
  ASSERT_TRUE(RepoAdd(other, result, error)) << error;
  TRepoAddOptions newer = Options(temp.path());
  newer.version = "2.0.0.7";
  newer.archive_name = "fw_P_2.0.0.7.zip";
  ASSERT_TRUE(RepoAdd(newer, result, error)) << error;
  const std::string updated = test::ReadFile(temp.path() + "system/firmware.txt");
  EXPECT_EQ((std::vector<std::string>{"P100", "P200"}), IniSections(updated));
  EXPECT_EQ("2.0.0.7", GetIniValue(updated, "P100", "SysVer"));
  EXPECT_EQ("fw_P_2.0.0.7.zip", GetIniValue(updated, "P100", "SysFile"));
  EXPECT_EQ(Md5Hex(test::ReadFile(temp.path() + "system/fw_P_2.0.0.7.zip")),
            GetIniValue(updated, "P100", "MD5"));
  EXPECT_EQ("2.0.0.1", GetIniValue(updated, "P200", "SysVer"));
}

TEST(SimRepository, AddRefusesNamesThatLeaveTheRoot) {
  test::TTempFolder temp;
  TRepoAddResult result;
  std::string error;
  for (const char* folder : {"../up", "a/b", "..", ""}) {
    TRepoAddOptions o = Options(temp.path());
    o.folder = folder;
    EXPECT_FALSE(RepoAdd(o, result, error)) << folder;
  }
  TRepoAddOptions o = Options(temp.path());
  o.archive_name = "../fw.zip";
  EXPECT_FALSE(RepoAdd(o, result, error));
  EXPECT_EQ("fw.bin", ArchiveEntryName("fw.zip", TSimSeries::P));
  EXPECT_EQ("fw.pk2", ArchiveEntryName("fw.zip", TSimSeries::K));
}

TEST(SimRepository, FirmwareHeaderCarriesVersionAndSignature) {
  const TSimFirmwareInfo m_sys{TSimSeries::M, TFirmwareKind::System, "1.2.3.9"};
  const std::string header = FirmwareHeaderBytes(m_sys);
  EXPECT_EQ(0, header.compare(0, 4, "BNEG"));
  ASSERT_TRUE(ReadSimFirmwareInfo(header));
  EXPECT_EQ("1.2.3.9", ReadSimFirmwareInfo(header)->version);
  EXPECT_EQ(0, FirmwareHeaderBytes({TSimSeries::M, TFirmwareKind::Ui, "1"})
                   .compare(0, 4, "\xBD\x9A\x0C\x44"));
  // A series M file with the other kind's signature, or none, is no firmware of that camera.
  std::string swapped = header;
  swapped.replace(0, 4, "\xBD\x9A\x0C\x44");
  EXPECT_FALSE(ReadSimFirmwareInfo(swapped));
  EXPECT_FALSE(ReadSimFirmwareInfo(header.substr(4)));
  EXPECT_FALSE(ReadSimFirmwareInfo(header.substr(0, header.size() - 1)));  // header not closed
  EXPECT_EQ("CAMLIFT-SIM-FIRMWARE\nseries=P\nkind=ui\nversion=3.0\n\n",
            FirmwareHeaderBytes({TSimSeries::P, TFirmwareKind::Ui, "3.0"}));
}

class SimRepositoryServer : public ::testing::Test {
 protected:
  void SetUp() override {
    TRepoAddResult result;
    std::string error;
    ASSERT_TRUE(RepoAdd(Options(temp_.path()), result, error)) << error;
    archive_ = test::ReadFile(result.archive_path);
  }
  std::unique_ptr<TSimRepository> Serve(std::set<TRepoFault> faults) {
    TRepoConfig config;
    config.root = temp_.path();
    config.ip = "127.0.0.1";
    config.faults = std::move(faults);
    auto repo = std::make_unique<TSimRepository>(config, recorder_);
    repo->Start();
    return repo;
  }
  test::TTempFolder temp_;
  std::string archive_;
  std::shared_ptr<TSimRecorder> recorder_ = std::make_shared<TSimRecorder>();
};

TEST_F(SimRepositoryServer, ServesTreeAndFaults) {
  struct Case {
    TRepoFault fault;
    int catalogue_status;
    int archive_status;
  } statuses[] = {{TRepoFault::Catalog404, 404, 200},
                  {TRepoFault::Catalog500, 500, 200},
                  {TRepoFault::Archive404, 200, 404},
                  {TRepoFault::Archive500, 200, 500}};
  for (const Case& c : statuses) {
    auto repo = Serve({c.fault});
    httplib::Client client("127.0.0.1", repo->port());
    EXPECT_EQ(c.catalogue_status, client.Get("/FM/system/firmware.txt")->status);
    EXPECT_EQ(c.archive_status, client.Get("/FM/system/fw_P_2.0.0.1.zip")->status);
  }

  {
    auto repo = Serve({});
    httplib::Client client("127.0.0.1", repo->port());
    auto archive = client.Get("/FM/system/fw_P_2.0.0.1.zip");
    ASSERT_TRUE(archive);
    EXPECT_EQ(archive_, archive->body);
    EXPECT_EQ(404, client.Get("/FM/system/../system/firmware.txt")->status);
    EXPECT_EQ(404, client.Get("/FM/%2e%2e/etc/passwd")->status);
    EXPECT_EQ(404, client.Get("/FM/system/missing.zip")->status);
    const auto entries = recorder_->Entries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ("repository", entries.front()["role"]);
  }

  // Damaged archives come with a catalogue MD5 that fits them, so the damage is met when the
  // archive is unpacked; wrong-md5 damages only the catalogue.
  struct Damage {
    TRepoFault fault;
    bool md5_matches;
  } damages[] = {{TRepoFault::WrongMd5, false},
                 {TRepoFault::Truncated, true},
                 {TRepoFault::NotZip, true},
                 {TRepoFault::EvilEntry, true}};
  for (const Damage& d : damages) {
    auto repo = Serve({d.fault});
    httplib::Client client("127.0.0.1", repo->port());
    const auto catalogue = client.Get("/FM/system/firmware.txt");
    const auto archive = client.Get("/FM/system/fw_P_2.0.0.1.zip");
    ASSERT_TRUE(catalogue && archive);
    const auto md5 = GetIniValue(catalogue->body, "P100", "MD5");
    ASSERT_TRUE(md5);
    EXPECT_EQ(32u, md5->size());
    EXPECT_EQ(d.md5_matches, *md5 == Md5Hex(archive->body)) << static_cast<int>(d.fault);
    const auto entries = ZipEntries(archive->body);
    switch (d.fault) {
      case TRepoFault::WrongMd5:
        EXPECT_EQ(archive_, archive->body);
        break;
      case TRepoFault::Truncated:
        EXPECT_EQ(archive_.substr(0, archive_.size() / 2), archive->body);
        EXPECT_TRUE(entries.empty());
        break;
      case TRepoFault::NotZip:
        EXPECT_TRUE(entries.empty());
        break;
      default:
        ASSERT_EQ(2u, entries.size());
        EXPECT_EQ("fw_P_2.0.0.1.bin", entries[0].first);
        EXPECT_EQ("../evil.bin", entries[1].first);
    }
  }
}

TEST_F(SimRepositoryServer, StallSendsHalfThenNothing) {
  auto repo = Serve({TRepoFault::Stall});
  httplib::Client client("127.0.0.1", repo->port());
  client.set_read_timeout(std::chrono::milliseconds(300));
  std::size_t received = 0;
  auto result = client.Get("/FM/system/fw_P_2.0.0.1.zip", [&](const char*, std::size_t n) {
    received += n;
    return true;
  });
  EXPECT_FALSE(result);  // the read timed out
  EXPECT_EQ(archive_.size() / 2, received);
  // Stopping ends the stalled connection promptly.
  const auto before = std::chrono::steady_clock::now();
  repo->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(3));
}

TEST_F(SimRepositoryServer, DownAndWildcard) {
  auto repo = Serve({TRepoFault::Down});
  httplib::Client client("127.0.0.1", repo->port() ? repo->port() : 1);
  EXPECT_FALSE(client.Get("/FM/system/firmware.txt"));
  TRepoConfig config;
  config.root = temp_.path();
  config.ip = "0.0.0.0";
  TSimRepository wildcard(config, recorder_);
  EXPECT_THROW(wildcard.Start(), std::runtime_error);
}

}  // namespace
}  // namespace camlift::sim
