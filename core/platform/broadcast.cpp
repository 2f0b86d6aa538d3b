// SPDX-License-Identifier: Apache-2.0
#include "platform/broadcast.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <stdexcept>

namespace camlift {

std::optional<std::uint32_t> ParseDottedIPv4(std::string_view text) {
  std::uint32_t host = 0;
  int parts = 0;
  std::size_t i = 0;
  while (parts < 4) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
    unsigned value = 0;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
      value = value * 10 + static_cast<unsigned>(text[i] - '0');
      ++i;
      ++digits;
    }
    if (value > 255 || digits > 3) return std::nullopt;
    host = (host << 8) | value;
    ++parts;
    if (parts < 4) {
      if (i >= text.size() || text[i] != '.') return std::nullopt;
      ++i;
    }
  }
  if (i != text.size()) return std::nullopt;
  return htonl(host);
}

bool BroadcastAddressOverridden() {
  const char* text = std::getenv("CAMLIFT_BROADCAST_ADDR");
  return text && *text;
}

std::string BroadcastAddressText() {
  const char* text = std::getenv("CAMLIFT_BROADCAST_ADDR");
  if (!text || !*text) return std::string(kLimitedBroadcast);
  if (!ParseDottedIPv4(text)) {
    throw std::invalid_argument(std::string("CAMLIFT_BROADCAST_ADDR must be a dotted IPv4 address "
                                            "such as 127.255.255.255 (got \"") +
                                text + "\")");
  }
  return text;
}

std::uint32_t BroadcastAddress() { return *ParseDottedIPv4(BroadcastAddressText()); }

}  // namespace camlift
