// SPDX-License-Identifier: Apache-2.0
#include "zip_builder.h"

#include <sys/stat.h>
#include <zip.h>

#include <set>

#include "temp_folder.h"

namespace camlift::test {

bool WriteZip(const std::string& path, const std::vector<TZipEntry>& entries) {
  int error = 0;
  zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!zip) return false;
  // libzip refuses a second entry of the same name: it goes in under a stand-in name of the same
  // length, which is patched back in the finished file (names are not covered by any CRC).
  std::set<std::string> seen;
  std::vector<std::pair<std::string, std::string>> patches;
  for (const TZipEntry& e : entries) {
    std::string name = e.name;
    if (!seen.insert(name).second) {
      std::string stand_in = name;
      stand_in.back() = stand_in.back() == '#' ? '%' : '#';
      patches.emplace_back(stand_in, name);
      name = stand_in;
    }
    zip_source_t* source = zip_source_buffer(zip, e.content.data(), e.content.size(), 0);
    const zip_int64_t index = zip_file_add(zip, name.c_str(), source, ZIP_FL_ENC_RAW);
    if (index < 0) {
      zip_source_free(source);
      zip_discard(zip);
      return false;
    }
    if (e.symlink) {
      zip_file_set_external_attributes(zip, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX,
                                       static_cast<zip_uint32_t>(S_IFLNK | 0777) << 16);
    }
  }
  if (zip_close(zip) != 0) return false;
  if (!patches.empty()) {
    std::string bytes = ReadFile(path);
    for (const auto& [from, to] : patches) {
      for (std::size_t at = 0; (at = bytes.find(from, at)) != std::string::npos; at += to.size()) {
        bytes.replace(at, from.size(), to);
      }
    }
    WriteFile(path, bytes);
  }
  return true;
}

}  // namespace camlift::test
