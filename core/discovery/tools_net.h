// SPDX-License-Identifier: Apache-2.0
// TTools_Net: network routines of the search.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace camlift {

class TUdpEndpoint;

class TTools_Net {
 public:
  TTools_Net() = delete;

  // How many ports past the start port BindFreePort tries.
  static constexpr int kPortRange = 1000;

  // Makes endpoint listen on the first usable port from start_port on; false when no port in the
  // range works (the endpoint then stays inactive).
  static bool BindFreePort(TUdpEndpoint& endpoint, std::uint16_t start_port);
  // The same; busy receives every port of the range that was tried and could not be bound.
  static bool BindFreePort(TUdpEndpoint& endpoint, std::uint16_t start_port,
                           std::vector<std::uint16_t>& busy);
  // Four bytes as dotted decimal, first byte first.
  static std::string IPToStr(std::span<const std::uint8_t, 4> bytes);
  // -1, 0 or 1. Texts with the same number of dot-separated pieces compare piece by piece as
  // decimal numbers (a piece that is not a number counts as 0); otherwise as whole texts, case
  // ignored. So 192.168.1.10 sorts after 192.168.1.9.
  static int CompareDotted(std::string_view a, std::string_view b);
  // One GET; Basic authorisation when user is given; connect and receive time-outs of timeout_ms
  // each. False on every error, an HTTP error status included.
  static bool HttpGet(const std::string& url, std::string& text, int timeout_ms,
                      const std::string& user, const std::string& password);
};

// Case-insensitive comparison of two texts (ASCII letters folded): -1, 0 or 1.
int CompareTextNoCase(std::string_view a, std::string_view b);

}  // namespace camlift
