// SPDX-License-Identifier: Apache-2.0
// camlift cache: the verified firmware cache "Bin/" of the work folder - what it holds, how large
// it is against its limit ("cache_limit_mb" in the options), and --clear to empty it. Both also
// remove what runs that died left behind (partial downloads, staging folders).
#include <algorithm>
#include <ctime>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "command_registry.h"
#include "platform/paths.h"
#include "repository/cache_usage.h"
#include "repository/run_files.h"
#include "util/text_fields.h"

namespace camlift::cli {
namespace {

struct TCacheOptions {
  std::string data_dir;
  bool clear = false;
  bool json = false;
};

std::string UtcTime(std::int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&time, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string MiB(std::uint64_t bytes) {
  const std::uint64_t tenths = (bytes * 10 + (1 << 19)) >> 20;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MiB";
}

int RunCache(const TCacheOptions& options) {
  if (!options.data_dir.empty()) SetWorkFolder(options.data_dir);
  const std::string work = CacheFolder();
  const std::string folder = work + "Bin/";
  // Leftovers of dead runs go either way; a live run's files are never touched.
  const TSweepResult swept = SweepLeftovers(work);
  if (options.clear) {
    const std::uint64_t removed = ClearCache(folder);
    if (options.json) {
      std::cout << nlohmann::json{{"folder", folder},
                                  {"removedBytes", removed},
                                  {"leftoversRemoved", swept.removed},
                                  {"leftoverBytes", swept.bytes}}
                       .dump()
                << "\n";
    } else {
      std::cout << "removed " << MiB(removed) << " from " << folder << "\n";
      if (swept.removed > 0) {
        std::cout << "removed " << swept.removed << " leftovers of runs that ended ("
                  << MiB(swept.bytes) << ")\n";
      }
    }
    return kExitOk;
  }
  const std::vector<TCacheEntry> entries = CacheEntries(folder);
  std::uint64_t total = 0;
  for (const TCacheEntry& entry : entries) total += entry.bytes;
  const std::uint64_t limit = ConfiguredCacheLimit();
  if (options.json) {
    nlohmann::json list = nlohmann::json::array();
    for (const TCacheEntry& entry : entries) {
      list.push_back({{"md5", entry.md5},
                      {"files", entry.files},
                      {"bytes", entry.bytes},
                      {"lastUse", UtcTime(entry.last_use)}});
    }
    std::cout << nlohmann::json{{"folder", folder},
                                {"bytes", total},
                                {"limitBytes", limit},
                                {"entries", list},
                                {"leftoversRemoved", swept.removed}}
                     .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
              << "\n";
    return kExitOk;
  }
  std::cout << "cache: " << folder << "\n"
            << "size:  " << MiB(total) << " of "
            << (limit == 0 ? std::string("no limit") : MiB(limit)) << " (cache_limit_mb)\n";
  if (swept.removed > 0) {
    std::cout << "removed " << swept.removed << " leftovers of runs that ended ("
              << MiB(swept.bytes) << ")\n";
  }
  if (entries.empty()) return kExitOk;
  std::cout << "\nLast use              Size        Archive MD5                       Firmware\n";
  // Most recently used first.
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    std::string files;
    // The names are the entries of repository archives: cleaned like every outside text.
    for (const std::string& file : it->files) {
      files += (files.empty() ? "" : " ") + ShownText(file);
    }
    std::string size = MiB(it->bytes);
    size.resize(std::max<std::size_t>(size.size(), 10), ' ');
    std::cout << UtcTime(it->last_use) << "  " << size << "  " << it->md5 << "  " << files << "\n";
  }
  return kExitOk;
}

void SetupCache(CLI::App& root, CommandRunner& run) {
  auto options = std::make_shared<TCacheOptions>();
  CLI::App* cmd = root.add_subcommand(
      "cache", "Show the verified firmware cache (Bin/) and its limit, or empty it with --clear");
  cmd->add_option("--data-dir", options->data_dir, "Work folder, as upgrade --data-dir takes it");
  cmd->add_flag("--clear", options->clear, "Remove every firmware from the cache");
  cmd->add_flag("--json", options->json, "One JSON object");
  cmd->callback([options, &run] { run = [options] { return RunCache(*options); }; });
}

}  // namespace

CAMLIFT_REGISTER_COMMAND("cache", SetupCache);

}  // namespace camlift::cli
