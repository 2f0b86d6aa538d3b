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
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  wake_read_.reset(pipe_fds[0]);
  wake_write_.reset(pipe_fds[1]);
  socket_ = std::move(socket);
  port_ = port;
  stop_ = false;
  finished_ = false;
  listener_ = std::thread([this] { Listen(); });
  return true;
}

void TUdpEndpoint::Deactivate() {
  if (listener_.joinable()) {
    stop_ = true;
    const char wake = 1;
    [[maybe_unused]] const auto written = ::write(wake_write_.get(), &wake, 1);
    // The listener may be waiting for the UI thread to take a datagram; keep serving it.
    WaitServingUi(ui_, [this] { return finished_.load(); });
    listener_.join();
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

void TUdpEndpoint::Listen() {
  // Replies come in bursts (every camera answers the same pass): what is waiting goes to the UI
  // thread in one hand-off, in the order it came, rather than one hand-off per datagram.
  constexpr std::size_t kBurst = 16;
  std::vector<std::array<std::uint8_t, kMaxDatagram>> buffers(kBurst);
  std::array<std::size_t, kBurst> sizes{};
  std::array<std::uint32_t, kBurst> senders{};
  while (!stop_) {
    std::array<pollfd, 2> fds{{{socket_.get(), POLLIN, 0}, {wake_read_.get(), POLLIN, 0}}};
    const int ready = ::poll(fds.data(), fds.size(), -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (stop_ || (fds[1].revents & POLLIN)) break;
    if (!(fds[0].revents & POLLIN)) continue;
    std::size_t count = 0;
    while (count < kBurst) {
      sockaddr_in from{};
      socklen_t from_length = sizeof from;
      const ssize_t n = ::recvfrom(socket_.get(), buffers[count].data(), kMaxDatagram, MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&from), &from_length);
      // Nothing more waiting, or an ICMP error of an earlier send: the next poll goes on.
      if (n < 0) break;
      senders[count] = from.sin_addr.s_addr;
      sizes[count++] = static_cast<std::size_t>(n);
    }
    if (count == 0) continue;
    ui_.Invoke([&] {
      for (std::size_t i = 0; i < count && !stop_; ++i) {
        handler_(std::span<const std::uint8_t>(buffers[i].data(), sizes[i]), senders[i]);
      }
    });
  }
  finished_ = true;
}

}  // namespace camlift
