// SPDX-License-Identifier: Apache-2.0
// The cameras of one simulator that answer a search dialect share its port through one socket.
// On a real LAN each camera is a host of its own; on one loopback a socket per camera would make
// the kernel deliver every broadcast once per camera (the 1010 search broadcasts two follow-ups
// for every camera it heard, so a site of 500 such cameras costs 500 x 1000 deliveries a pass,
// more than two cores read). One socket hears each datagram once and hands it to the cameras.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"

namespace camlift::sim {

class ISharedPortMember {
 public:
  virtual ~ISharedPortMember() = default;
  // The camera's own address (network byte order), 0 when it has none: a datagram sent to one
  // camera's address goes to that camera alone, a broadcast to every camera.
  virtual std::uint32_t OwnAddress() const = 0;
  // One datagram from peer; answers go out through socket.
  virtual void Take(std::span<const std::uint8_t> datagram, const sockaddr_in& peer,
                    int socket) = 0;
};

class TSharedSearchPort {
 public:
  // The port's shared socket, bound now if no camera holds it yet, with member added. Throws
  // std::runtime_error when the port cannot be bound.
  static std::shared_ptr<TSharedSearchPort> Join(std::uint16_t port, ISharedPortMember* member);
  // Once it returns, member is called no more.
  void Leave(ISharedPortMember* member);

  explicit TSharedSearchPort(TSocketHandle socket);
  ~TSharedSearchPort();
  TSharedSearchPort(const TSharedSearchPort&) = delete;
  TSharedSearchPort& operator=(const TSharedSearchPort&) = delete;

 private:
  void Serve();

  TSocketHandle socket_;
  TSocketHandle wake_read_;
  TSocketHandle wake_write_;
  std::mutex members_mutex_;  // held while a datagram is handed out
  std::vector<ISharedPortMember*> members_;
  std::thread thread_;
};

}  // namespace camlift::sim
