// SPDX-License-Identifier: Apache-2.0
// The size of the verified cache "Bin/": its entries (one folder per archive MD5), their last
// use, and the removal of the least recently used ones once the whole grows past its limit
// ("cache_limit_mb" in [Global] of the options, default 2048; 0: no limit). "camlift cache"
// shows and clears it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace camlift {

struct TCacheEntry {
  std::string md5;                 // the folder's name: the archive's MD5
  std::vector<std::string> files;  // firmware files in it (no records), sorted
  std::uint64_t bytes = 0;         // everything in the folder
  std::int64_t last_use = 0;       // seconds since the epoch (the folder's time)
};

inline constexpr std::uint64_t kDefaultCacheLimitMiB = 2048;

// The limit of the options file in bytes; 0: none.
std::uint64_t ConfiguredCacheLimit();

// The entries of the cache folder ("<work>/Bin/"), least recently used first. Only real folders
// named by 32 hexadecimal digits count; a link is never followed.
std::vector<TCacheEntry> CacheEntries(const std::string& cache_folder);
// Marks the entry of md5 as used now (a firmware reused from the cache).
void MarkCacheUse(const std::string& cache_folder, const std::string& md5);
// Removes entries, least recently used first, until the cache holds at most limit bytes (0: no
// limit). Never the entry keep_md5 (the one a run has just stored or is about to upload), and
// never one used within the last hour: another run may be about to upload it. Returns the bytes
// removed.
std::uint64_t TrimCache(const std::string& cache_folder, std::uint64_t limit,
                        const std::string& keep_md5);
// Removes every entry (camlift cache --clear); the bytes removed.
std::uint64_t ClearCache(const std::string& cache_folder);

}  // namespace camlift
