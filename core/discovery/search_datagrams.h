// SPDX-License-Identifier: Apache-2.0
// The query datagrams of the LAN search, byte for byte.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "discovery/datagram_sender.h"

namespace camlift {

using TBytes = std::vector<std::uint8_t>;

// Destination ports of the queries.
inline constexpr std::uint16_t kSQ610Port = 4000;
inline constexpr std::uint16_t kMOIPort = 10000;
inline constexpr std::uint16_t kUicamPort = 10139;
inline constexpr std::uint16_t kCTPSearchPort = 7999;
inline constexpr std::uint16_t k1010Port = 6801;
inline constexpr std::uint16_t kImagiaPort = 10000;
// Series R cameras use 8600 for everything: their search answers, the settings datagram, and the
// status and upload pages of newer firmware.
inline constexpr std::uint16_t k8600Port = 8600;
// The local port the 8600 query is sent from and its replies come back to.
inline constexpr std::uint16_t k8600LocalPort = 3565;

// One item of the SQ610 query: a tag byte, a length byte and that many zero bytes.
struct TSQ610Item {
  std::uint8_t tag;
  std::uint8_t length;
};
inline constexpr TSQ610Item kSQ610Items[] = {
    {0x10, 6}, {0x20, 16}, {0x21, 16}, {0x11, 4}, {0x12, 4}, {0x13, 4},  {0x14, 4},
    {0x1F, 4}, {0x22, 16}, {0x23, 16}, {0x24, 4}, {0x28, 4}, {0x25, 30}, {0x26, 1},
};

inline constexpr std::string_view kUicamQuery = "uicam query";
inline constexpr std::string_view kCTPSearch = "SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n";
inline constexpr std::string_view kImagiaQuery = "IMAGIAQUERY,0";
inline constexpr std::string_view kImagiaCommandPrefix = "IMAGIAQUERY,3,";

TBytes BuildSQ610Query();
TBytes BuildMOIQuery();
TBytes BuildUicamQuery();
TBytes BuildCTPSearch();
TBytes Build1010Query();
TBytes BuildImagiaQuery();
TBytes BuildImagiaCommand(std::string_view dev_id);
TBytes Build8600Query();

// The search pass sends each row of the dialect table with SendDialectQuery (search_dialects.h).
// The IMAGIA command is the one datagram sent outside a pass, for a row the user picked.
// Pauses ImagiaCommandPause, then broadcasts "IMAGIAQUERY,3," + dev_id to port 10000. A
// failing socket is swallowed, as in a search pass.
bool SendImagiaCommand(IDatagramSender& endpoint, std::string_view dev_id);

}  // namespace camlift
