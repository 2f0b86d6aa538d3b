// SPDX-License-Identifier: Apache-2.0
// The 8600 settings datagram of series R cameras and its reply: pure functions over bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "discovery/dev_info.h"
#include "discovery/record_8600.h"
#include "discovery/search_datagrams.h"

namespace camlift {

// The request (the 8600 record, kind 0x0102) goes out as the first bytes of a cleared 1024-byte
// buffer.
inline constexpr std::size_t k8600SettingsSize = 324;
inline constexpr std::size_t k8600SettingsBufferSize = 1024;
inline constexpr std::size_t k8600SettingsReplySize = 328;
inline constexpr std::size_t k8600SettingsResultAt = 324;
inline constexpr std::uint32_t k8600SettingsTaken = 0x8000;

struct T8600SettingsResult {
  TBytes bytes;       // the 324 bytes to send; empty when refused
  std::string error;  // why it was refused: the field whose text is too long
};

// Builds the request from the wanted settings and the account. A text longer than its field
// allows is refused (nothing would be cut silently).
T8600SettingsResult Build8600Settings(const TDevInfo& wanted, const std::string& user,
                                      const std::string& password);
// MAC bytes from up to six pairs of hex digits; stops at the end or at the first pair that is
// not hex, leaving the rest zero.
std::array<std::uint8_t, 6> MacBytesFromHex(const std::string& norm_id);

// True when the datagram is a settings reply (0x4844, 0x0802); taken then holds whether the
// camera took the settings (0x8000 at offset 324; zero past the datagram's end).
bool Parse8600SettingsReply(std::span<const std::uint8_t> datagram, bool& taken);
// False when a settings reply names another camera by the MAC at offset 84 than the one of
// norm_id: the answer to somebody else's settings, or a forgery, must not decide ours while our
// camera's may still come. A reply without a MAC there (all zeros, or too short to hold one) is
// taken as the camera's own.
bool SettingsReplyIsFor(std::span<const std::uint8_t> datagram, const std::string& norm_id);

}  // namespace camlift
