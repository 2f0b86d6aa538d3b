// SPDX-License-Identifier: Apache-2.0
#include "repository/cache_usage.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "repository/firmware_cache.h"
#include "repository/run_files.h"
#include "util/option_file.h"
#include "util/text.h"

namespace fs = std::filesystem;

namespace camlift {
namespace {

// A firmware another run verified a moment ago may be on its way to a camera.
constexpr std::int64_t kRecentUseSeconds = 3600;

std::string WithSlash(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

std::int64_t NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::uint64_t RemoveEntry(const std::string& folder, const TCacheEntry& entry) {
  std::error_code ec;
  fs::remove_all(folder + entry.md5, ec);
  return ec ? 0 : entry.bytes;
}

}  // namespace

std::uint64_t ConfiguredCacheLimit() {
  const std::string text = TrimText(TOptionFile().ReadString("Global", "cache_limit_mb", ""));
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
      text.size() > 9) {
    return kDefaultCacheLimitMiB << 20;
  }
  return std::stoull(text) << 20;
}

std::vector<TCacheEntry> CacheEntries(const std::string& cache_folder) {
  std::vector<TCacheEntry> entries;
  const std::string folder = WithSlash(cache_folder);
  if (!IsOwnFolder(folder)) return entries;
  std::error_code ec;
  for (const auto& item : fs::directory_iterator(folder, ec)) {
    const std::string name = item.path().filename().string();
    if (!IsMd5Text(name) || !IsOwnFolder(item.path().string())) continue;
    TCacheEntry entry;
    entry.md5 = name;
    struct stat info {};
    if (::lstat(item.path().c_str(), &info) == 0) entry.last_use = info.st_mtime;
    for (auto it = fs::recursive_directory_iterator(item.path(), ec); !ec && it != fs::end(it);
         it.increment(ec)) {
      std::error_code file_ec;
      if (!it->is_regular_file(file_ec) || it->is_symlink(file_ec)) continue;
      entry.bytes += it->file_size(file_ec);
      const std::string file = it->path().filename().string();
      if (it.depth() == 0 && !file.starts_with(".") && !file.ends_with(".verified")) {
        entry.files.push_back(file);
      }
    }
    std::sort(entry.files.begin(), entry.files.end());
    entries.push_back(std::move(entry));
  }
  std::sort(entries.begin(), entries.end(), [](const TCacheEntry& a, const TCacheEntry& b) {
    return a.last_use != b.last_use ? a.last_use < b.last_use : a.md5 < b.md5;
  });
  return entries;
}

void MarkCacheUse(const std::string& cache_folder, const std::string& md5) {
  if (!IsMd5Text(md5)) return;
  const std::string path = WithSlash(cache_folder) + LowerAscii(md5);
  // The folder itself, never what a link in its place points at.
  ::utimensat(AT_FDCWD, path.c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
}

std::uint64_t TrimCache(const std::string& cache_folder, std::uint64_t limit,
                        const std::string& keep_md5) {
  if (limit == 0) return 0;
  const std::string folder = WithSlash(cache_folder);
  const std::vector<TCacheEntry> entries = CacheEntries(folder);
  std::uint64_t total = 0;
  for (const TCacheEntry& entry : entries) total += entry.bytes;
  std::uint64_t removed = 0;
  const std::int64_t now = NowSeconds();
  for (const TCacheEntry& entry : entries) {
    if (total <= limit) break;
    if (entry.md5 == LowerAscii(keep_md5) || now - entry.last_use < kRecentUseSeconds) continue;
    const std::uint64_t freed = RemoveEntry(folder, entry);
    total -= freed;
    removed += freed;
  }
  return removed;
}

std::uint64_t ClearCache(const std::string& cache_folder) {
  const std::string folder = WithSlash(cache_folder);
  std::uint64_t removed = 0;
  for (const TCacheEntry& entry : CacheEntries(folder)) removed += RemoveEntry(folder, entry);
  return removed;
}

}  // namespace camlift
