// SPDX-License-Identifier: Apache-2.0
#include "repository/catalogue.h"

#include <filesystem>

#include "util/ini_file.h"
#include "util/text.h"

namespace camlift {

bool ReadCatalogueEntry(const std::string& path, const std::string& section,
                        const std::string& version_key, const std::string& file_key,
                        TCatalogueEntry& entry) {
  entry = {};
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return false;
  const TIniFile ini(path);
  const std::string key = TrimText(section);
  entry.version = ini.ReadString(key, version_key, "");
  entry.md5 = ini.ReadString(key, "MD5", "");
  entry.excluded = ini.ReadString(key, "NO", "");
  entry.file = ini.ReadString(key, file_key, "");
  entry.sha256 = ini.ReadString(key, "SHA256", "");
  return true;
}

}  // namespace camlift
