// SPDX-License-Identifier: Apache-2.0
#include "discovery/udp_endpoint.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <system_error>
#include <vector>

#include "platform/broadcast.h"

namespace camlift {

TUdpEndpoint::TUdpEndpoint(IUiDispatcher& ui, TDatagramHandler handler)
    : ui_(ui), handler_(std::move(handler)) {}

TUdpEndpoint::~TUdpEndpoint() { Deactivate(); }

bool TUdpEndpoint::Activate(std::uint16_t port) {
  Deactivate();
  TSocketHandle socket = MakeUdpSocket(true);
  if (!socket.valid() || !BindUdp(socket.get(), port)) return false;
  EnlargeReceiveBuffer(socket.get());
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  wake_read_.reset(pipe_fds[0]);
  wake_write_.reset(pipe_fds[1]);
  socket_ = std::move(socket);
  port_ = port;
  stop_ = false;
  dropped_ = 0;
  // Each thread is counted as it starts: a system that refuses the second one leaves an endpoint
  // that Deactivate can still stop, not one that waits for a thread that never ran.
  try {
    ++running_;
    listener_ = std::thread([this] { Listen(); });
    ++running_;
    hand_over_ = std::thread([this] { HandOver(); });
  } catch (...) {  // std::system_error, or std::bad_alloc for the thread's state
    --running_;
    Deactivate();
    return false;
  }
  return true;
}

void TUdpEndpoint::Deactivate() {
  if (listener_.joinable()) {
    {
      std::lock_guard lock(waiting_mutex_);
      stop_ = true;
    }
    waiting_changed_.notify_all();
    const char wake = 1;
    [[maybe_unused]] const auto written = ::write(wake_write_.get(), &wake, 1);
    // The hand-over may be waiting for the UI thread to take replies; keep serving it.
    WaitServingUi(ui_, [this] { return running_.load() == 0; });
    listener_.join();
    if (hand_over_.joinable()) hand_over_.join();
    std::lock_guard lock(waiting_mutex_);
    waiting_.clear();
  }
  socket_.reset();
  wake_read_.reset();
  wake_write_.reset();
  port_ = 0;
}

void TUdpEndpoint::SetTargets(std::vector<std::uint32_t> targets) {
  std::lock_guard lock(targets_mutex_);
  targets_ = std::move(targets);
}

std::vector<std::uint32_t> TUdpEndpoint::Targets() const {
  std::lock_guard lock(targets_mutex_);
  return targets_.empty() ? std::vector<std::uint32_t>{BroadcastAddress()} : targets_;
}

bool TUdpEndpoint::Broadcast(std::uint16_t port, std::span<const std::uint8_t> bytes) {
  if (!socket_.valid()) return false;
  // One adapter that refuses (no route, interface gone since the pass began) must not keep the
  // datagram from the others.
  bool sent = false;
  for (const std::uint32_t address : Targets()) {
    const int error = SendDatagramError(socket_.get(), address, port, bytes.data(), bytes.size());
    sent = error == 0 || sent;
    if (error == 0) continue;
    const TSendProblem problem{address, port, error};
    std::lock_guard lock(targets_mutex_);
    if (std::find(send_problems_.begin(), send_problems_.end(), problem) == send_problems_.end()) {
      send_problems_.push_back(problem);
    }
  }
  return sent;
}

std::vector<TSendProblem> TUdpEndpoint::SendProblems() const {
  std::lock_guard lock(targets_mutex_);
  return send_problems_;
}

void TUdpEndpoint::ClearSendProblems() {
  std::lock_guard lock(targets_mutex_);
  send_problems_.clear();
}

std::size_t TUdpEndpoint::Waiting() const {
  std::lock_guard lock(waiting_mutex_);
  return waiting_.size() + handing_over_;
}

void TUdpEndpoint::Listen() {
  std::array<std::uint8_t, kMaxDatagram> buffer{};
  while (!stop_) {
    std::array<pollfd, 2> fds{{{socket_.get(), POLLIN, 0}, {wake_read_.get(), POLLIN, 0}}};
    const int ready = ::poll(fds.data(), fds.size(), -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (stop_ || (fds[1].revents & POLLIN)) break;
    if (!(fds[0].revents & POLLIN)) continue;
    // Everything that waits on the socket goes into the queue before the hand-over hears of it.
    std::vector<TReceived> read;
    while (read.size() < kMaxHandOff) {
      sockaddr_in from{};
      socklen_t from_length = sizeof from;
      const ssize_t n = ::recvfrom(socket_.get(), buffer.data(), kMaxDatagram, MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&from), &from_length);
      // Nothing more waiting, or an ICMP error of an earlier send: the next poll goes on.
      if (n < 0) break;
      read.push_back({{buffer.begin(), buffer.begin() + n}, from.sin_addr.s_addr});
    }
    if (read.empty()) continue;
    {
      std::lock_guard lock(waiting_mutex_);
      for (TReceived& received : read) {
        if (waiting_.size() + handing_over_ >= kMaxWaiting) {
          ++dropped_;
          continue;
        }
        waiting_.push_back(std::move(received));
      }
    }
    waiting_changed_.notify_one();
  }
  --running_;
}

void TUdpEndpoint::HandOver() {
  std::vector<TReceived> batch;
  while (true) {
    {
      std::unique_lock lock(waiting_mutex_);
      waiting_changed_.wait(lock, [this] { return stop_ || !waiting_.empty(); });
      if (stop_) break;
      const std::size_t count = std::min(waiting_.size(), kMaxHandOff);
      batch.assign(std::make_move_iterator(waiting_.begin()),
                   std::make_move_iterator(waiting_.begin() + static_cast<std::ptrdiff_t>(count)));
      waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(count));
      handing_over_ = count;
    }
    ui_.Invoke([&] {
      for (const TReceived& received : batch) {
        if (stop_) break;
        handler_(received.bytes, received.sender);
      }
    });
    batch.clear();
    std::lock_guard lock(waiting_mutex_);
    handing_over_ = 0;
  }
  --running_;
}

}  // namespace camlift
