// SPDX-License-Identifier: Apache-2.0
#include "r730/r730_settings.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "util/byte_reader.h"

namespace camlift {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void PutU16(TBytes& bytes, std::size_t offset, std::uint16_t value) {
  bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

// A text must leave its terminating zero inside its field.
bool PutText(TBytes& bytes, const char* name, T8600Field field, const std::string& text,
             std::string& error) {
  // A zero inside the text would end it early on the camera's side; what follows would be lost.
  const std::size_t length = text.find('\0') == std::string::npos ? text.size() : SIZE_MAX;
  if (length >= field.width) {
    error = std::string(name) + " longer than " + std::to_string(field.width - 1) + " characters";
    return false;
  }
  std::memcpy(bytes.data() + field.offset, text.data(), text.size());
  return true;
}

}  // namespace

std::array<std::uint8_t, 6> MacBytesFromHex(const std::string& norm_id) {
  std::array<std::uint8_t, 6> mac{};
  for (std::size_t i = 0; i < mac.size() && 2 * i + 1 < norm_id.size(); ++i) {
    const int high = HexValue(norm_id[2 * i]);
    const int low = HexValue(norm_id[2 * i + 1]);
    if (high < 0 || low < 0) break;
    mac[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return mac;
}

T8600SettingsResult Build8600Settings(const TDevInfo& wanted, const std::string& user,
                                      const std::string& password) {
  T8600SettingsResult result;
  TBytes bytes(k8600SettingsSize, 0);
  PutU16(bytes, k8600MagicAt, k8600Magic);
  PutU16(bytes, k8600KindAt, k8600SettingsKind);
  for (const T8600Text& text : k8600Texts) {
    if (text.settings_width == 0) continue;
    const T8600Field field{text.offset, text.settings_width};
    if (!PutText(bytes, text.name, field, wanted.*text.member, result.error)) return result;
  }
  if (!PutText(bytes, "user", k8600User, user, result.error) ||
      !PutText(bytes, "password", k8600Password, password, result.error)) {
    return result;
  }
  const std::array<std::uint8_t, 6> mac = MacBytesFromHex(wanted.NormID);
  std::memcpy(bytes.data() + k8600MacAt, mac.data(), mac.size());
  PutU16(bytes, k8600PortAt, wanted.DevPort);
  bytes[k8600DhcpAt] = wanted.DhcpFlag == 2 ? 0 : 1;
  result.bytes = std::move(bytes);
  return result;
}

bool Parse8600SettingsReply(std::span<const std::uint8_t> datagram, bool& taken) {
  const TByteReader reader(datagram, k8600SettingsReplySize);
  if (datagram.empty() || reader.U16LE(k8600MagicAt) != k8600Magic ||
      reader.U16LE(k8600KindAt) != k8600SettingsReplyKind) {
    return false;
  }
  taken = reader.U32LE(k8600SettingsResultAt) == k8600SettingsTaken;
  return true;
}

bool SettingsReplyIsFor(std::span<const std::uint8_t> datagram, const std::string& norm_id) {
  if (datagram.size() < k8600MacAt + 6) return true;
  const std::span<const std::uint8_t> named = datagram.subspan(k8600MacAt, 6);
  if (std::all_of(named.begin(), named.end(), [](std::uint8_t b) { return b == 0; })) return true;
  const std::array<std::uint8_t, 6> mac = MacBytesFromHex(norm_id);
  return std::equal(named.begin(), named.end(), mac.begin());
}

}  // namespace camlift
