// SPDX-License-Identifier: Apache-2.0
// A UDP server of the search: bound to one local port with broadcast on, it sends datagrams to
// the broadcast address and hands every datagram it receives (up to 1024 bytes) and its sender's
// address to its handler on the UI thread, in the order they came, through the dispatcher.
//
// Every camera answers the same pass at once: a site of thousands sends thousands of replies
// within milliseconds, more than the socket's buffer holds. One thread therefore only reads the
// socket, into a bounded queue of its own, and another hands that queue to the UI thread; a
// reader that waited for a busy UI thread would let the kernel drop the replies meanwhile.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
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
  // Replies held for the UI thread at most; beyond it a reply is dropped and counted.
  static constexpr std::size_t kMaxWaiting = 4096;
  // Replies handed to the UI thread in one call at most, so that input and paint come between.
  static constexpr std::size_t kMaxHandOff = 256;

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

  // Replies read and not yet handed to the UI thread, and those dropped because kMaxWaiting
  // were waiting (since Activate).
  std::size_t Waiting() const;
  std::size_t Dropped() const { return dropped_.load(); }

 private:
  struct TReceived {
    std::vector<std::uint8_t> bytes;
    std::uint32_t sender = 0;
  };
  void Listen();
  void HandOver();

  IUiDispatcher& ui_;
  TDatagramHandler handler_;
  TSocketHandle socket_;
  TSocketHandle wake_read_;
  TSocketHandle wake_write_;
  std::uint16_t port_ = 0;
  mutable std::mutex targets_mutex_;
  std::vector<std::uint32_t> targets_;
  std::vector<TSendProblem> send_problems_;
  mutable std::mutex waiting_mutex_;
  std::condition_variable waiting_changed_;
  std::deque<TReceived> waiting_;
  std::size_t handing_over_ = 0;  // taken from waiting_, not yet through the handler
  std::atomic<std::size_t> dropped_{0};
  std::thread listener_;
  std::thread hand_over_;
  std::atomic<bool> stop_{false};
  std::atomic<int> running_{0};  // threads of this endpoint not yet finished
};

}  // namespace camlift
