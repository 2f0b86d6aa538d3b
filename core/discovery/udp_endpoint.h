// SPDX-License-Identifier: Apache-2.0
// A UDP server of the search: bound to one local port with broadcast on, it sends datagrams to
// the broadcast address and hands every datagram it receives (up to 1024 bytes) and its sender's
// address to its handler on the UI thread, one at a time, through the dispatcher.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "discovery/datagram_sender.h"
#include "platform/dispatcher.h"
#include "platform/socket.h"

namespace camlift {

// sender: the address the datagram came from (network byte order).
using TDatagramHandler =
    std::function<void(std::span<const std::uint8_t> datagram, std::uint32_t sender)>;

class TUdpEndpoint final : public IDatagramSender {
 public:
  static constexpr std::size_t kMaxDatagram = 1024;

  TUdpEndpoint(IUiDispatcher& ui, TDatagramHandler handler);
  ~TUdpEndpoint() override;
  TUdpEndpoint(const TUdpEndpoint&) = delete;
  TUdpEndpoint& operator=(const TUdpEndpoint&) = delete;

  // Drops the current binding, binds port on every local address and starts listening.
  bool Activate(std::uint16_t port);
  // Stops the listener and closes the socket. Call it on the UI thread.
  void Deactivate();
  bool Active() const { return socket_.valid(); }
  std::uint16_t Port() const { return port_; }

  // The addresses (network byte order) Broadcast sends to, one datagram each; the search sets
  // them on every pass (CurrentSearchTargets). Until then, and when set empty: BroadcastAddress().
  void SetTargets(std::vector<std::uint32_t> targets);
  std::vector<std::uint32_t> Targets() const;

  bool Broadcast(std::uint16_t port, std::span<const std::uint8_t> bytes) override;

  // The datagrams the system refused to send since the last ClearSendProblems, each address,
  // port and reason once (the search shows them: "no route" explains an empty list).
  std::vector<TSendProblem> SendProblems() const;
  void ClearSendProblems();

 private:
  void Listen();

  IUiDispatcher& ui_;
  TDatagramHandler handler_;
  TSocketHandle socket_;
  TSocketHandle wake_read_;
  TSocketHandle wake_write_;
  std::uint16_t port_ = 0;
  mutable std::mutex targets_mutex_;
  std::vector<std::uint32_t> targets_;
  std::vector<TSendProblem> send_problems_;
  std::thread listener_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{true};
};

}  // namespace camlift
