#include "r730/r730_settings.h"

#include <array>
#include <cstring>

#include "util/byte_reader.h"

namespace camlift {
namespace {

// Where each text of the request sits (the 8600 reply's layout) and how wide its field is; a text
// must leave its terminating zero inside the field.
struct T8600SettingsText {
  const char* name;
  std::size_t offset;
  std::size_t width;
};

constexpr std::size_t kAccountUser = 236;
constexpr std::size_t kAccountPassword = 268;

// The texts taken from the wanted record, in wire order.
struct TRecordText {
  T8600SettingsText field;
  std::string TDevInfo::*member;
};
constexpr TRecordText kRecordTexts[] = {
    {{"IP address", 4, 16}, &TDevInfo::IPAddr},   {{"subnet mask", 20, 16}, &TDevInfo::Netmask},
    {{"gateway", 36, 16}, &TDevInfo::Gateway},    {{"primary DNS", 52, 16}, &TDevInfo::DNS1},
    {{"secondary DNS", 68, 16}, &TDevInfo::DNS2}, {{"name", 124, 80}, &TDevInfo::DevName},
    {{"version", 204, 32}, &TDevInfo::Version},
};
constexpr T8600SettingsText kUserField{"user", kAccountUser, 32};
constexpr T8600SettingsText kPasswordField{"password", kAccountPassword, 33};

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

bool PutText(TBytes& bytes, const T8600SettingsText& field, const std::string& text,
             std::string& error) {
  // A zero inside the text would end it early on the camera's side; what follows would be lost.
  const std::size_t length = text.find('\0') == std::string::npos ? text.size() : SIZE_MAX;
  if (length >= field.width) {
    error =
        std::string(field.name) + " longer than " + std::to_string(field.width - 1) + " characters";
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
  PutU16(bytes, 0, k8600Magic);
  PutU16(bytes, 2, k8600SettingsOp);
  for (const TRecordText& text : kRecordTexts) {
    if (!PutText(bytes, text.field, wanted.*text.member, result.error)) return result;
  }
  if (!PutText(bytes, kUserField, user, result.error) ||
      !PutText(bytes, kPasswordField, password, result.error)) {
    return result;
  }
  const std::array<std::uint8_t, 6> mac = MacBytesFromHex(wanted.NormID);
  std::memcpy(bytes.data() + k8600SettingsMacAt, mac.data(), mac.size());
  PutU16(bytes, k8600SettingsPortAt, wanted.DevPort);
  bytes[k8600SettingsDhcpAt] = wanted.DhcpFlag == 2 ? 0 : 1;
  result.bytes = std::move(bytes);
  return result;
}

bool Parse8600SettingsReply(std::span<const std::uint8_t> datagram, bool& taken) {
  const TByteReader reader(datagram, k8600SettingsReplySize);
  if (datagram.empty() || reader.U16LE(0) != k8600Magic ||
      reader.U16LE(2) != k8600SettingsReplyOp) {
    return false;
  }
  taken = reader.U32LE(k8600SettingsResultAt) == k8600SettingsTaken;
  return true;
}

}  // namespace camlift
