// SPDX-License-Identifier: Apache-2.0
// The simulated firmware repository: the tool that fills a folder tree with firmware archives
// and catalogues, and the HTTP server that serves it under "/FM/".
//
// Tree below the root: one folder per repository folder name ("system", or the lower-cased OEM
// text for UI firmware), each with
//   "firmware.txt"  an INI text (CR LF line ends), one section per model key:
//                     [SECTION]
//                     SysVer=2.0.0.1        (AppVer for UI firmware)
//                     MD5=<md5 of the archive, 32 lower-case hex digits>
//                     NO=<excluded current versions>
//                     SysFile=fw_P_sys_2.0.0.1.zip   (AppFile for UI firmware)
//   the archives    ZIP files whose single top-level entry is the archive's name with its last
//                   four characters replaced by ".bin" (".pk2" for series K), holding a simulated
//                   firmware file (sim_firmware.h).
// Base URL: "http://ADDR:PORT/FM/".
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim_faults.h"
#include "sim_firmware.h"
#include "sim_http_server.h"
#include "sim_record.h"

namespace camlift::sim {

struct TRepoAddOptions {
  std::string root;
  std::string folder;   // "system" or the OEM text; stored lower-cased
  std::string section;  // the model key
  TFirmwareKind kind = TFirmwareKind::System;
  TSimSeries series = TSimSeries::P;
  std::string version;
  std::string excluded;       // value of "NO"
  std::string archive_name;   // default "fw_<series>_<kind>_<version>.zip"
  std::uint64_t size = 4096;  // size of the firmware file inside
  bool stored = false;        // store without compression (fast for big benchmark files)
  bool sha256 = false;        // also enter "SHA256" of the archive
};

struct TRepoAddResult {
  std::string folder_path;
  std::string archive_path;
  std::string entry_name;
  std::string md5;
  std::string catalogue_path;
  std::string sha256;  // of the archive (entered in the catalogue only when asked for)
};

// The entry name the engine looks for inside an archive of this name.
std::string ArchiveEntryName(const std::string& archive_name, TSimSeries series);

// Creates the firmware file, packs it, and writes or updates the folder's catalogue section.
// False with error set on bad options or a file that cannot be written.
bool RepoAdd(const TRepoAddOptions& options, TRepoAddResult& result, std::string& error);

// Sets key=value in section of an INI text (section and key names matched ignoring case; the
// section is appended when missing, the key appended to its section when missing). Pure.
std::string SetIniValue(const std::string& ini, const std::string& section, const std::string& key,
                        const std::string& value);
// Reads key of section (ignoring case; value trimmed); nullopt when absent. Pure.
std::optional<std::string> GetIniValue(const std::string& ini, const std::string& section,
                                       const std::string& key);
// Every section name, in order. Pure.
std::vector<std::string> IniSections(const std::string& ini);

// The faults: TRepoFault, ParseRepoFault, RepoFaultNames (sim_faults.h).

struct TRepoConfig {
  std::string root;
  std::string ip = "127.0.0.1";
  int port = 0;  // 0: any free port
  std::set<TRepoFault> faults;
  // HTTPS with the test CA kept in this folder (sim_tls.h); empty: plain HTTP.
  std::string tls_dir;
  // The name the server certificate is issued for (default: ip); another one makes a
  // certificate that does not fit the address.
  std::string tls_name;
  bool has(TRepoFault f) const { return faults.count(f) != 0; }
};

class TSimRepository {
 public:
  TSimRepository(TRepoConfig config, std::shared_ptr<TSimRecorder> recorder,
                 bool allow_wildcard = false);
  ~TSimRepository();
  TSimRepository(const TSimRepository&) = delete;
  TSimRepository& operator=(const TSimRepository&) = delete;

  // Throws std::runtime_error when the port cannot be opened (nothing happens for "down").
  void Start();
  void Stop();
  int port() const;
  // "http://ip:port/FM/" ("https://" with tls_dir)
  std::string BaseUrl() const;
  const TRepoConfig& config() const { return config_; }

 private:
  void Setup(TSimHttpServer& server);
  // The bytes of an archive as a fault serves them (nullopt: serve the file unchanged).
  std::optional<std::string> ServedArchive(const std::string& path, const std::string& name);
  std::string ServedCatalogue(const std::string& folder_path, std::string text);
  // replayed-signature: the folder served in place of folder, if any.
  std::optional<std::string> ReplaySource(const std::string& folder) const;
  // Sends bytes one at a time with SlowRepositoryByte between them.
  static void Trickle(httplib::Response& res, std::string bytes, const std::string& content_type,
                      TSimHttpServer& server);

  TRepoConfig config_;
  std::shared_ptr<TSimRecorder> recorder_;
  bool allow_wildcard_;
  std::unique_ptr<TSimListener> listener_;
  std::mutex cache_mutex_;
  std::map<std::string, std::string> cache_;  // served archive bytes by path (fault modes)
};

}  // namespace camlift::sim
