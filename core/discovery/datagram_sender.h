// SPDX-License-Identifier: Apache-2.0
// Where the LAN search's datagrams go out: one datagram to a port of the search's broadcast
// addresses. Kept apart from the endpoint so that what only builds or decides datagrams needs no
// sockets or threads.
#pragma once

#include <cstdint>
#include <span>

namespace camlift {

class IDatagramSender {
 public:
  virtual ~IDatagramSender() = default;
  // False when the datagram went out to none of the addresses (an inactive endpoint, errors of
  // the socket layer).
  virtual bool Broadcast(std::uint16_t port, std::span<const std::uint8_t> bytes) = 0;
};

}  // namespace camlift
