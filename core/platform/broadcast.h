// SPDX-License-Identifier: Apache-2.0
// The address every search datagram goes to: 255.255.255.255, or CAMLIFT_BROADCAST_ADDR when set
// (tests and demos use 127.255.255.255 so that nothing leaves the machine).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace camlift {

inline constexpr std::string_view kLimitedBroadcast = "255.255.255.255";

// Dotted text of the broadcast address. Throws std::invalid_argument when CAMLIFT_BROADCAST_ADDR
// is set but is not a dotted IPv4 address.
std::string BroadcastAddressText();
// The same address in network byte order.
std::uint32_t BroadcastAddress();
// True when CAMLIFT_BROADCAST_ADDR replaces the default.
bool BroadcastAddressOverridden();

// Parses a strict dotted-quad IPv4 text ("a.b.c.d", each 0-255) into network byte order.
std::optional<std::uint32_t> ParseDottedIPv4(std::string_view text);

}  // namespace camlift
