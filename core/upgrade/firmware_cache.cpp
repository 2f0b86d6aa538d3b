#include "upgrade/firmware_cache.h"

#include <unistd.h>

#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "upgrade/upgrade_object.h"
#include "upgrade/zip_extract.h"
#include "util/tools.h"

namespace fs = std::filesystem;

namespace camlift {
namespace {

bool EndsWithIgnoringCase(std::string_view text, std::string_view end) {
  return text.size() >= end.size() &&
         LowerAscii(std::string(text.substr(text.size() - end.size()))) == end;
}

// A staging folder that is removed with everything in it, whatever way the store ends.
struct StagingFolder {
  std::string path;
  ~StagingFolder() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
  }
};

}  // namespace

bool IsPlainArchiveName(std::string_view name) {
  if (name.empty() || name.size() > 255 || name.front() == '.') return false;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f || c == '/' || c == '\\' || c == ':') return false;
  }
  // The options file and every catalogue copy end in ".ini"; a firmware archive never does.
  return !EndsWithIgnoringCase(name, ".ini") && LowerAscii(std::string(name)) != "firmware.txt" &&
         !EndsWithIgnoringCase(name, ".verified");
}

bool IsMd5Text(std::string_view text) {
  if (text.size() != 32) return false;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::string UniqueLocalName(const std::string& prefix) {
  static std::atomic<unsigned> counter{0};
  return prefix + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

TFirmwareCache::TFirmwareCache(std::string folder) : folder_(std::move(folder)) {
  if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
}

std::string TFirmwareCache::PathOf(const std::string& archive_md5, const std::string& name) const {
  return folder_ + LowerAscii(archive_md5) + "/" + name;
}

std::string TFirmwareCache::RecordOf(const std::string& archive_md5,
                                     const std::string& name) const {
  return PathOf(archive_md5, name) + ".verified";
}

bool TFirmwareCache::IsVerified(const std::string& archive_md5, const std::string& name,
                                const std::string& sha256) const {
  if (!IsMd5Text(archive_md5) || !IsPlainArchiveName(name)) return false;
  std::error_code ec;
  const std::string path = PathOf(archive_md5, name);
  if (!fs::is_regular_file(fs::symlink_status(path, ec))) return false;
  const auto size = fs::file_size(path, ec);
  if (ec) return false;
  std::ifstream in(RecordOf(archive_md5, name));
  std::string md5, recorded_sha256;
  std::uintmax_t recorded_size = 0;
  if (!(in >> md5 >> recorded_size)) return false;
  in >> recorded_sha256;  // only when the archive's SHA-256 was checked
  if (!sha256.empty() && LowerAscii(recorded_sha256) != LowerAscii(sha256)) return false;
  return LowerAscii(md5) == LowerAscii(archive_md5) && recorded_size == size;
}

bool TFirmwareCache::Store(const std::string& archive, const std::string& archive_md5,
                           const std::string& name, const std::string& sha256) {
  if (!IsMd5Text(archive_md5) || !IsPlainArchiveName(name)) return false;
  // Whatever was cached under this name goes first: only the archive just verified may fill it.
  std::error_code ec;
  fs::remove(RecordOf(archive_md5, name), ec);
  fs::remove(PathOf(archive_md5, name), ec);

  if (!TTools::ForceDirs(folder_)) return false;
  StagingFolder staging{folder_ + UniqueLocalName(".stage-") + "/"};
  if (!fs::create_directory(staging.path, ec)) return false;
  std::string error;
  if (!ExtractZipSafely(archive, staging.path, error)) return false;
  if (!fs::is_regular_file(fs::symlink_status(staging.path + name, ec))) return false;

  const std::string target_folder = folder_ + LowerAscii(archive_md5) + "/";
  if (!TTools::ForceDirs(target_folder)) return false;
  // The other entries first, the firmware last: a reader that sees the firmware sees the rest.
  for (const auto& item : fs::directory_iterator(staging.path, ec)) {
    const std::string item_name = item.path().filename().string();
    if (item_name == name) continue;
    const fs::path target = fs::path(target_folder) / item_name;
    if (fs::is_directory(fs::symlink_status(target, ec))) fs::remove_all(target, ec);
    fs::rename(item.path(), target, ec);
  }
  fs::rename(staging.path + name, PathOf(archive_md5, name), ec);
  if (ec) return false;
  return Record(archive_md5, name, sha256);
}

bool TFirmwareCache::Record(const std::string& archive_md5, const std::string& name,
                            const std::string& sha256) {
  std::error_code ec;
  const auto size = fs::file_size(PathOf(archive_md5, name), ec);
  if (ec) return false;
  // Written beside and renamed, so a reader never sees half a record.
  const std::string temp = folder_ + LowerAscii(archive_md5) + "/" + UniqueLocalName(".record-");
  {
    std::ofstream out(temp, std::ios::trunc);
    out << LowerAscii(archive_md5) << ' ' << size;
    if (!sha256.empty()) out << ' ' << LowerAscii(sha256);
    out << '\n';
    if (!out.flush()) return false;
  }
  fs::rename(temp, RecordOf(archive_md5, name), ec);
  if (!ec) return true;
  fs::remove(temp, ec);
  return false;
}

}  // namespace camlift
