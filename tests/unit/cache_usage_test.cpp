// SPDX-License-Identifier: Apache-2.0
// The size of the verified cache: least recently used entries go once it is past its limit,
// never the one a run has just stored, nor one used within the last hour.
#include "repository/cache_usage.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace camlift {
namespace {

namespace fs = std::filesystem;

// An entry of bytes bytes in one firmware file, last used hours_ago hours ago.
void Entry(const std::string& cache, const std::string& md5, std::size_t bytes, int hours_ago) {
  fs::create_directories(cache + md5);
  test::WriteFile(cache + md5 + "/fw.bin", std::string(bytes, 'x'));
  test::WriteFile(cache + md5 + "/fw.bin.verified", "");
  const timeval now_minus[2] = {{::time(nullptr) - hours_ago * 3600, 0},
                                {::time(nullptr) - hours_ago * 3600, 0}};
  ::utimes((cache + md5).c_str(), now_minus);
}

const std::string kA = "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa";
const std::string kB = "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb";
const std::string kC = "cccccccccccccccccccccccccccccccc";
const std::string kD = "dddddddddddddddddddddddddddddddd";

TEST(CacheUsage, LeastRecentlyUsedGoFirst) {
  test::TTempFolder temp;
  const std::string cache = temp.path() + "Bin/";
  Entry(cache, kA, 1000, 30);
  Entry(cache, kB, 1000, 10);
  Entry(cache, kC, 1000, 20);
  Entry(cache, kD, 1000, 0);  // just used: another run may be uploading it
  fs::create_directories(cache + ".stage-x");
  fs::create_directory_symlink(temp.path(), cache + "eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee");

  std::vector<TCacheEntry> entries = CacheEntries(cache);
  ASSERT_EQ(4u, entries.size());
  EXPECT_EQ(kA, entries[0].md5);
  EXPECT_EQ(kC, entries[1].md5);
  EXPECT_EQ(kB, entries[2].md5);
  EXPECT_EQ(kD, entries[3].md5);
  EXPECT_EQ(std::vector<std::string>{"fw.bin"}, entries[0].files);
  EXPECT_EQ(1000u, entries[0].bytes);

  // 4000 bytes, limit 2500: A, the oldest, is kept for the run; C and B go.
  EXPECT_EQ(2000u, TrimCache(cache, 2500, kA));
  EXPECT_TRUE(fs::exists(cache + kA));
  EXPECT_FALSE(fs::exists(cache + kC));
  EXPECT_FALSE(fs::exists(cache + kB));
  EXPECT_TRUE(fs::exists(cache + kD));
  // Nothing more can go: A is kept, D was used a moment ago.
  EXPECT_EQ(0u, TrimCache(cache, 1, kA));
  EXPECT_EQ(0u, TrimCache(cache, 0, ""));  // no limit
  EXPECT_EQ(1000u, TrimCache(cache, 1500, ""));
  EXPECT_FALSE(fs::exists(cache + kA));

  // A use makes an entry the most recent one.
  Entry(cache, kB, 10, 5);
  Entry(cache, kC, 10, 6);
  MarkCacheUse(cache, kC);
  entries = CacheEntries(cache);
  ASSERT_EQ(3u, entries.size());
  EXPECT_EQ(kB, entries[0].md5);

  EXPECT_EQ(1020u, ClearCache(cache));
  EXPECT_TRUE(CacheEntries(cache).empty());
  EXPECT_TRUE(fs::is_symlink(cache + "eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee"));
}

}  // namespace
}  // namespace camlift
