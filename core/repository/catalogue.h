// SPDX-License-Identifier: Apache-2.0
// The repository catalogue ("firmware.txt", kept locally as "Firmware.ini"): one INI section per
// camera model key with the newest version, the archive's MD5, the excluded versions and the
// archive name.
#pragma once

#include <cstdint>
#include <string>

namespace camlift {

// The largest catalogue read. Catalogues are kilobytes; one that reaches this size is refused
// whole rather than read up to a cut line whose value may be cut too.
inline constexpr std::uint64_t kMaxCatalogueBytes = 4ull << 20;

struct TCatalogueEntry {
  std::string version;   // VersionKey: "SysVer" or "AppVer"
  std::string md5;       // "MD5"
  std::string excluded;  // "NO"
  std::string file;      // FileKey: "SysFile" or "AppFile"
  std::string sha256;    // "SHA256", optional: when present the archive must match it too
};

// Reads the entry of section from the catalogue file. Section names are matched without regard
// to case and to blanks around them (catalogues are written by hand, with and without them).
// False when the file does not exist.
bool ReadCatalogueEntry(const std::string& path, const std::string& section,
                        const std::string& version_key, const std::string& file_key,
                        TCatalogueEntry& entry);

}  // namespace camlift
