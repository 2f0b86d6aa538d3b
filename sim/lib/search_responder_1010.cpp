// SPDX-License-Identifier: Apache-2.0
#include "search_responder_1010.h"

#include <algorithm>

namespace camlift::sim {
namespace {

constexpr std::uint16_t kQuery = 0x0F01;
constexpr std::uint16_t kHello = 0x8F01;
constexpr std::uint16_t kInfoRequest = 0x0F12;
constexpr std::uint16_t kInfo = 0x8F12;
constexpr std::uint16_t kDdnsRequest = 0x0F0F;
constexpr std::uint16_t kDdns = 0x8F0F;
// Bytes 4-5 of the header: a session number the searcher carries over unchanged.
constexpr std::uint16_t kSession = 0x5A31;
constexpr std::size_t kHelloMac = 100;
constexpr std::size_t kRequestMac = 96;

TBytes Header(std::uint16_t command, std::size_t total) {
  TBytes bytes(total, 0);
  bytes[0] = 0x10;
  bytes[1] = 0x10;
  PutU16LE(bytes, 2, command);
  PutU16LE(bytes, 4, kSession);
  PutU16LE(bytes, 6, static_cast<std::uint16_t>(total - 8));
  return bytes;
}

void PutMac(TBytes& bytes, std::size_t offset, const std::array<std::uint8_t, 6>& mac) {
  std::copy(mac.begin(), mac.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

bool CarriesMac(std::span<const std::uint8_t> datagram, const std::array<std::uint8_t, 6>& mac) {
  return datagram.size() >= kRequestMac + 6 &&
         std::equal(mac.begin(), mac.end(), datagram.begin() + kRequestMac);
}

}  // namespace

TBytes Build1010Hello(const TSearchIdentity& identity) {
  TBytes bytes = Header(kHello, 140);
  PutMac(bytes, kHelloMac, identity.mac);
  return bytes;
}

TBytes Build1010Info(const TSearchIdentity& identity) {
  TBytes bytes = Header(kInfo, 136);
  PutText(bytes, 8, 16, identity.ip);
  PutText(bytes, 24, 16, identity.netmask);
  PutText(bytes, 40, 16, identity.gateway);
  PutText(bytes, 56, 16, identity.dns1);
  PutText(bytes, 72, 16, identity.dns2);
  PutU16LE(bytes, 88, identity.port);
  PutU16LE(bytes, 94, identity.aux_word);
  PutMac(bytes, 96, identity.mac);
  // Seven serial bytes: the serial text's first seven characters.
  for (std::size_t i = 0; i < 7 && i < identity.serial.size(); ++i) {
    bytes[104 + i] = static_cast<std::uint8_t>(identity.serial[i]);
  }
  bytes[111] = identity.dhcp ? 1 : 0;
  PutText(bytes, 112, 24, identity.name);
  bytes.insert(bytes.end(), identity.sys_version.begin(), identity.sys_version.end());
  bytes.push_back(0);
  PutU16LE(bytes, 6, static_cast<std::uint16_t>(bytes.size() - 8));
  return bytes;
}

TBytes Build1010Ddns(const TSearchIdentity& identity) {
  TBytes bytes = Header(kDdns, 336 + 32);
  PutMac(bytes, 96, identity.mac);
  PutText(bytes, 142, 64, identity.ddns_host);
  PutText(bytes, 272, 32, identity.ddns_user);
  PutText(bytes, 336, 32, identity.ddns_password);
  return bytes;
}

std::vector<TBytes> Answer1010(const TSearchIdentity& identity,
                               std::span<const std::uint8_t> datagram) {
  if (datagram.size() < 4 || datagram[0] != 0x10 || datagram[1] != 0x10) return {};
  const auto command = static_cast<std::uint16_t>(datagram[2] | (datagram[3] << 8));
  switch (command) {
    case kQuery:
      return {Build1010Hello(identity)};
    case kInfoRequest:
      if (CarriesMac(datagram, identity.mac)) return {Build1010Info(identity)};
      return {};
    case kDdnsRequest:
      if (CarriesMac(datagram, identity.mac)) return {Build1010Ddns(identity)};
      return {};
    default:
      return {};
  }
}

std::unique_ptr<TSearchResponder> Make1010Responder(const TSearchIdentity& identity,
                                                    std::uint16_t port,
                                                    std::shared_ptr<TSimRecorder> recorder,
                                                    const std::string& camera_name) {
  return std::make_unique<TSearchResponder>(
      "1010", port,
      [identity](std::span<const std::uint8_t> datagram) { return Answer1010(identity, datagram); },
      std::move(recorder), camera_name);
}

}  // namespace camlift::sim
