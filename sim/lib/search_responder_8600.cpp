// SPDX-License-Identifier: Apache-2.0
#include "search_responder_8600.h"

#include <algorithm>

namespace camlift::sim {

TBytes Build8600Reply(const TSearchIdentity& identity) {
  TBytes bytes(516, 0);
  PutU16LE(bytes, 0, 0x4844);
  PutU16LE(bytes, 2, 0x0801);
  PutText(bytes, 4, 16, identity.ip);
  PutText(bytes, 20, 16, identity.netmask);
  PutText(bytes, 36, 16, identity.gateway);
  PutText(bytes, 52, 16, identity.dns1);
  PutText(bytes, 68, 16, identity.dns2);
  std::copy(identity.mac.begin(), identity.mac.end(), bytes.begin() + 84);
  PutU16LE(bytes, 90, identity.port);
  PutText(bytes, 92, 32, identity.serial);
  PutText(bytes, 124, 80, identity.name);
  PutText(bytes, 204, 16, identity.sys_version);
  bytes[301] = identity.dhcp ? 1 : 0;
  PutText(bytes, 324, 64, identity.ddns_host);
  PutText(bytes, 452, 32, identity.ddns_user);
  PutText(bytes, 484, 32, identity.ddns_password);
  return bytes;
}

std::vector<TBytes> Answer8600(const TSearchIdentity& identity,
                               std::span<const std::uint8_t> datagram) {
  const bool query = datagram.size() >= 4 && datagram[0] == 0x44 && datagram[1] == 0x48 &&
                     datagram[2] == 0x01 && datagram[3] == 0x01;
  if (!query) return {};
  return {Build8600Reply(identity)};
}

std::unique_ptr<TSearchResponder> Make8600Responder(const TSearchIdentity& identity,
                                                    std::uint16_t port,
                                                    std::shared_ptr<TSimRecorder> recorder,
                                                    const std::string& camera_name) {
  return std::make_unique<TSearchResponder>(
      "8600", port,
      [identity](std::span<const std::uint8_t> datagram) { return Answer8600(identity, datagram); },
      std::move(recorder), camera_name);
}

}  // namespace camlift::sim
