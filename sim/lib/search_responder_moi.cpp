// SPDX-License-Identifier: Apache-2.0
#include "search_responder_moi.h"

#include <cstring>

namespace camlift::sim {

TBytes BuildMoiReply(const TSearchIdentity& identity) {
  constexpr std::uint32_t kBody = 195;
  TBytes bytes(23 + kBody, 0);
  std::memcpy(bytes.data(), "MO_I", 4);
  PutU16LE(bytes, 4, 1);
  PutU16LE(bytes, 15, static_cast<std::uint16_t>(kBody));
  PutText(bytes, 23, 13, identity.device_id);
  PutText(bytes, 36, 21, identity.name);
  PutDotted(bytes, 57, identity.ip);
  PutDotted(bytes, 61, identity.netmask);
  PutDotted(bytes, 65, identity.gateway);
  PutDotted(bytes, 69, identity.dns1);
  PutDotted(bytes, 77, identity.sys_version);
  PutDotted(bytes, 81, identity.app_version);
  bytes[85] = static_cast<std::uint8_t>(identity.port >> 8);  // network order
  bytes[86] = static_cast<std::uint8_t>(identity.port & 0xFF);
  bytes[87] = identity.dhcp ? 1 : 0;
  PutText(bytes, 88, 65, identity.ddns_host);
  PutText(bytes, 153, 65, identity.ddns_user);
  return bytes;
}

std::vector<TBytes> AnswerMoi(const TSearchIdentity& identity,
                              std::span<const std::uint8_t> datagram) {
  const bool query = datagram.size() >= 6 && std::memcmp(datagram.data(), "MO_I", 4) == 0 &&
                     datagram[4] == 0 && datagram[5] == 0;
  if (!query) return {};
  return {BuildMoiReply(identity)};
}

std::unique_ptr<TSearchResponder> MakeMoiResponder(const TSearchIdentity& identity,
                                                   std::uint16_t port,
                                                   std::shared_ptr<TSimRecorder> recorder,
                                                   const std::string& camera_name) {
  return std::make_unique<TSearchResponder>(
      "moi", port,
      [identity](std::span<const std::uint8_t> datagram) { return AnswerMoi(identity, datagram); },
      std::move(recorder), camera_name);
}

}  // namespace camlift::sim
