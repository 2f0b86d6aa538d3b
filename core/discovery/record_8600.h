// SPDX-License-Identifier: Apache-2.0
// The 8600 record of series R cameras. The search reply (0x0801) and the network settings request
// (0x0102) share one layout; its offsets and widths are written down here once, and the reply
// parser reads through this table while the settings request is built through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "discovery/dev_info.h"

namespace camlift {

// Bytes 0-1 of every 8600 datagram, then its kind in bytes 2-3 (all little-endian).
inline constexpr std::size_t k8600MagicAt = 0;
inline constexpr std::size_t k8600KindAt = 2;
inline constexpr std::uint16_t k8600Magic = 0x4844;
inline constexpr std::uint16_t k8600QueryKind = 0x0101;
inline constexpr std::uint16_t k8600ReplyKind = 0x0801;
inline constexpr std::uint16_t k8600SettingsKind = 0x0102;
inline constexpr std::uint16_t k8600SettingsReplyKind = 0x0802;

// A character array of the record: it ends at its first zero byte or at its width.
struct T8600Field {
  std::size_t offset;
  std::size_t width;
};

// The texts of the record that a camera record holds, in wire order. A width of 0: the field is
// not part of that datagram (the settings request leaves it zero). The version is the one text
// whose width differs: the reply gives it 16 bytes and leaves the next 16 unused, the settings
// request lets it run up to the account at 236.
struct T8600Text {
  const char* name;  // how a refused settings request names it
  std::string TDevInfo::*member;
  std::size_t offset;
  std::size_t reply_width;
  std::size_t settings_width;
};
inline constexpr T8600Text k8600Texts[] = {
    {"IP address", &TDevInfo::IPAddr, 4, 16, 16},
    {"subnet mask", &TDevInfo::Netmask, 20, 16, 16},
    {"gateway", &TDevInfo::Gateway, 36, 16, 16},
    {"primary DNS", &TDevInfo::DNS1, 52, 16, 16},
    {"secondary DNS", &TDevInfo::DNS2, 68, 16, 16},
    {"serial", &TDevInfo::SerialNo, 92, 32, 0},
    {"name", &TDevInfo::DevName, 124, 80, 80},
    {"version", &TDevInfo::Version, 204, 16, 32},
    {"DDNS host", &TDevInfo::DdnsHost, 324, 64, 0},
    {"DDNS user", &TDevInfo::DdnsUser, 452, 32, 0},
    {"DDNS password", &TDevInfo::DdnsPassword, 484, 32, 0},
};

// The other fields. The account is only in the settings request (unused bytes in the reply); the
// password's field reaches the DHCP byte.
inline constexpr std::size_t k8600MacAt = 84;   // 6 bytes
inline constexpr std::size_t k8600PortAt = 90;  // 16-bit
inline constexpr T8600Field k8600User{236, 32};
inline constexpr T8600Field k8600Password{268, 33};
inline constexpr std::size_t k8600DhcpAt = 301;  // reply: 1 = on; request: 0 = off, 1 = on

}  // namespace camlift
