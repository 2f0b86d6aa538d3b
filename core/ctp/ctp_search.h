// SPDX-License-Identifier: Apache-2.0
// The CTP search as the K-series upgrade uses it: the text that every camera answers on UDP 7999,
// and the reading of one text reply into a search record.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace camlift {

inline constexpr std::uint16_t kCtpSearchPort = 7999;
inline constexpr std::string_view kCtpSearchText = "SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n";
// One datagram is read into 512 bytes with room for a terminator.
inline constexpr std::size_t kCtpSearchReplyLimit = 511;

struct TCtpSearchRecord {
  std::string name;       // "-name", at most 50 characters
  std::string serial;     // "-sn", 40
  std::string ip;         // "-ip", 16
  std::string netmask;    // "-netmask", 16
  std::int32_t port = 0;  // "-portctp"; 81 when the value is not a number
  bool dhcp = false;      // "-dhcpen"; true unless the value is exactly "0"
  std::string dns1;       // "-mdns", 16
  std::string dns2;       // "-sdns", 16
  std::string gateway;    // "-gw", 16
  std::string version;    // "-version": the second word of the value with the blank behind it
};

// The records of one search, in the order their replies arrived, each under its IP text.
using TCtpSearchList = std::vector<std::pair<std::string, std::unique_ptr<TCtpSearchRecord>>>;

// Reads one datagram. nullopt when it is empty or does not begin with "REPLY"; bytes after the
// first 511 or after a zero byte are not looked at.
std::optional<TCtpSearchRecord> ParseCtpSearchReply(std::span<const char> datagram);

// The version rule of the K upgrade: drop the value's first word and its blank, then keep the
// text up to and including the next blank; empty when no blank follows.
std::string CtpVersionFromValue(std::string_view value);

}  // namespace camlift
