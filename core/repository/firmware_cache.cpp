// SPDX-License-Identifier: Apache-2.0
#include "repository/firmware_cache.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "repository/run_files.h"
#include "repository/zip_extract.h"
#include "util/md5.h"
#include "util/text.h"
#include "util/tools.h"

namespace fs = std::filesystem;

namespace camlift {
namespace {

bool EndsWithIgnoringCase(std::string_view text, std::string_view end) {
  return text.size() >= end.size() &&
         LowerAscii(std::string(text.substr(text.size() - end.size()))) == end;
}

// A staging folder made by this store (never one that was there before, nor a link planted
// under its name), removed with everything in it whatever way the store ends.
struct StagingFolder {
  std::string path;  // without a trailing "/", so removing it never follows a link
  explicit StagingFolder(const std::string& parent) {
    std::string name = parent + ".stage-" + RunId() + "-XXXXXX";
    if (::mkdtemp(name.data()) != nullptr) path = name;
  }
  ~StagingFolder() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
  }
};

bool IsRealFolder(const std::string& path) { return IsOwnFolder(path); }

// Free for the folder of one archive's firmware: a real folder, or nothing yet. Anything else
// in its place - a symbolic link planted there above all, which would lead writes and removals
// out of the cache - is removed (the entry itself, never what a link points at). The folder is
// made only once the archive came out whole.
bool ClearForFolder(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(path, ec);
  if (fs::is_directory(status) || !fs::exists(status)) return true;
  return fs::remove(path, ec);
}

// The record's name beside a firmware: "<name>.verified", or for a name too long to take the
// ending (a file name has at most 255 bytes) "." + the MD5 of the name + ".verified", which no
// firmware name can be (they never begin with a dot).
std::string RecordName(const std::string& name) {
  constexpr std::size_t kMaxFileName = 255;
  const std::string plain = name + ".verified";
  if (plain.size() <= kMaxFileName) return plain;
  return "." + Md5Hex(name) + ".verified";
}

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

TFirmwareCache::TFirmwareCache(std::string folder) : folder_(std::move(folder)) {
  if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
}

bool TFirmwareCache::MakeCacheFolder() const {
  // The work folder is the user's and may be reached through a link; Bin/ below it is ours.
  const fs::path cache = fs::path(folder_).parent_path();
  return TTools::ForceDirs(cache.parent_path().string()) && MakeOwnFolder(cache.string());
}

std::string TFirmwareCache::PathOf(const std::string& archive_md5, const std::string& name) const {
  return folder_ + LowerAscii(archive_md5) + "/" + name;
}

std::string TFirmwareCache::RecordOf(const std::string& archive_md5,
                                     const std::string& name) const {
  return folder_ + LowerAscii(archive_md5) + "/" + RecordName(name);
}

bool TFirmwareCache::IsVerified(const std::string& archive_md5, const std::string& name,
                                const std::string& sha256) const {
  if (!IsMd5Text(archive_md5) || !IsPlainArchiveName(name)) return false;
  std::error_code ec;
  const std::string path = PathOf(archive_md5, name);
  // Neither the cache nor the archive's folder may be a link: a link planted at Bin/ would
  // hand over a firmware (and a record) that nobody verified.
  if (!IsRealFolder(folder_) || !IsRealFolder(folder_ + LowerAscii(archive_md5))) return false;
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
                           const std::string& name, const std::string& sha256,
                           const std::function<bool(const std::string&)>& accept) {
  if (!IsMd5Text(archive_md5) || !IsPlainArchiveName(name)) return false;
  const std::string own_folder = folder_ + LowerAscii(archive_md5);
  // The cache and the archive's folder are folders of our own: a link planted at either is
  // removed (never followed), so nothing is written outside the work folder.
  if (!MakeCacheFolder() || !ClearForFolder(own_folder)) return false;
  // Only the archive just verified may fill the name: its record goes first, and the file
  // itself when this archive does not hold it. A file that it does hold replaces the old one in
  // one rename, so another program uploading the old one meanwhile never finds it missing.
  std::error_code ec;
  fs::remove(RecordOf(archive_md5, name), ec);
  const auto refuse = [&] {
    fs::remove(PathOf(archive_md5, name), ec);
    return false;
  };

  const StagingFolder staging(folder_);
  if (staging.path.empty()) return refuse();
  std::string error;
  if (!ExtractZipSafely(archive, staging.path + "/", error)) return refuse();
  if (!fs::is_regular_file(fs::symlink_status(staging.path + "/" + name, ec))) return refuse();
  if (accept && !accept(staging.path + "/" + name)) return refuse();

  const std::string target_folder = own_folder + "/";
  if (!MakeOwnFolder(own_folder)) return refuse();
  // The other entries first, the firmware last: a reader that sees the firmware sees the rest.
  for (const auto& item : fs::directory_iterator(staging.path, ec)) {
    const std::string item_name = item.path().filename().string();
    if (item_name == name) continue;
    const fs::path target = fs::path(target_folder) / item_name;
    if (fs::is_directory(fs::symlink_status(target, ec))) fs::remove_all(target, ec);
    fs::rename(item.path(), target, ec);
  }
  fs::rename(staging.path + "/" + name, PathOf(archive_md5, name), ec);
  if (ec) return refuse();
  return Record(archive_md5, name, sha256);
}

bool TFirmwareCache::Keep(const std::string& file, const std::string& md5, const std::string& name,
                          const std::string& sha256) {
  if (!IsMd5Text(md5) || !IsPlainArchiveName(name)) return false;
  const std::string own_folder = folder_ + LowerAscii(md5);
  if (!MakeCacheFolder() || !MakeOwnFolder(own_folder)) return false;
  std::error_code ec;
  fs::remove(RecordOf(md5, name), ec);
  fs::rename(file, PathOf(md5, name), ec);
  return !ec && Record(md5, name, sha256);
}

bool TFirmwareCache::Record(const std::string& archive_md5, const std::string& name,
                            const std::string& sha256) {
  std::error_code ec;
  const auto size = fs::file_size(PathOf(archive_md5, name), ec);
  if (ec) return false;
  // Written beside and renamed, so a reader never sees half a record.
  const std::string temp = folder_ + LowerAscii(archive_md5) + "/" + UniqueLocalName(".record-");
  {
    // Created anew: never written through a link planted under that name.
    fs::remove(temp, ec);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(temp.c_str(), "wx"),
                                                        &std::fclose);
    if (!out) return false;
    std::string text = LowerAscii(archive_md5) + ' ' + std::to_string(size);
    if (!sha256.empty()) text += ' ' + LowerAscii(sha256);
    text += '\n';
    if (std::fwrite(text.data(), 1, text.size(), out.get()) != text.size() ||
        std::fflush(out.get()) != 0) {
      out.reset();
      fs::remove(temp, ec);
      return false;
    }
  }
  fs::rename(temp, RecordOf(archive_md5, name), ec);
  if (!ec) return true;
  fs::remove(temp, ec);
  return false;
}

}  // namespace camlift
