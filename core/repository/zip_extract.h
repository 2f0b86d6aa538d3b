// SPDX-License-Identifier: Apache-2.0
// Unpacking of firmware archives. Archives come from the network: an entry that would land
// outside the destination (absolute, "..", backslash or drive forms, links), a duplicate, a
// broken CRC or an absurd size refuses the whole archive. Entries are unpacked into a staging
// folder and moved into place only when every one of them came out whole.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace camlift {

struct TZipLimits {
  // Firmware is megabytes; anything that unpacks to more is a bomb (the same bound as the
  // largest archive fetched).
  std::uint64_t max_total_bytes = 256ull << 20;
  std::uint64_t max_entries = 4096;
};

// True when an entry name is a plain relative path: no empty, "." or ".." component, no
// leading "/", no backslash, no ":" (drive letters), no control characters.
bool IsSafeEntryName(std::string_view name);

bool ExtractZipSafely(const std::string& archive, const std::string& destination,
                      std::string& error, const TZipLimits& limits = {});

}  // namespace camlift
