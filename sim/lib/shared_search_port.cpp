// SPDX-License-Identifier: Apache-2.0
#include "shared_search_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <stdexcept>

namespace camlift::sim {
namespace {

struct TPortRegistry {
  std::mutex mutex;
  std::map<std::uint16_t, std::weak_ptr<TSharedSearchPort>> ports;
};

TPortRegistry& Registry() {
  static TPortRegistry registry;
  return registry;
}

TSocketHandle BindShared(std::uint16_t port) {
  TSocketHandle socket = MakeUdpSocket(true);
  int on = 1;
  if (!socket.valid() ||
      ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      ::setsockopt(socket.get(), IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
      !BindUdp(socket.get(), port)) {
    throw std::runtime_error("cannot bind UDP port " + std::to_string(port) + ": " +
                             std::strerror(errno));
  }
  EnlargeReceiveBuffer(socket.get());
  return socket;
}

}  // namespace

std::shared_ptr<TSharedSearchPort> TSharedSearchPort::Join(std::uint16_t port,
                                                           ISharedPortMember* member) {
  TPortRegistry& registry = Registry();
  std::lock_guard lock(registry.mutex);
  std::shared_ptr<TSharedSearchPort> shared = registry.ports[port].lock();
  if (!shared) {
    shared = std::make_shared<TSharedSearchPort>(BindShared(port));
    registry.ports[port] = shared;
  }
  std::lock_guard members(shared->members_mutex_);
  shared->members_.push_back(member);
  return shared;
}

void TSharedSearchPort::Leave(ISharedPortMember* member) {
  std::lock_guard lock(members_mutex_);
  members_.erase(std::remove(members_.begin(), members_.end(), member), members_.end());
}

TSharedSearchPort::TSharedSearchPort(TSocketHandle socket) : socket_(std::move(socket)) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::runtime_error("shared search port: pipe failed");
  }
  wake_read_.reset(pipe_fds[0]);
  wake_write_.reset(pipe_fds[1]);
  thread_ = std::thread([this] { Serve(); });
}

TSharedSearchPort::~TSharedSearchPort() {
  const char wake = 1;
  [[maybe_unused]] const auto written = ::write(wake_write_.get(), &wake, 1);
  thread_.join();
}

void TSharedSearchPort::Serve() {
  std::array<std::uint8_t, 2048> buffer{};
  alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(in_pktinfo))> control{};
  std::vector<ISharedPortMember*> takers;
  while (true) {
    std::array<pollfd, 2> fds{{{socket_.get(), POLLIN, 0}, {wake_read_.get(), POLLIN, 0}}};
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents & POLLIN) return;
    if (!(fds[0].revents & POLLIN)) continue;
    sockaddr_in peer{};
    iovec part{buffer.data(), buffer.size()};
    msghdr message{};
    message.msg_name = &peer;
    message.msg_namelen = sizeof peer;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    const ssize_t n = ::recvmsg(socket_.get(), &message, MSG_DONTWAIT);
    if (n < 0) continue;
    std::uint32_t destination = 0;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header;
         header = CMSG_NXTHDR(&message, header)) {
      if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
        in_pktinfo info{};
        std::memcpy(&info, CMSG_DATA(header), sizeof info);
        destination = info.ipi_addr.s_addr;
      }
    }
    const std::span<const std::uint8_t> datagram(buffer.data(), static_cast<std::size_t>(n));
    std::lock_guard lock(members_mutex_);
    // Sent to one camera's address: that camera alone; otherwise (a broadcast) every camera.
    takers.clear();
    for (ISharedPortMember* member : members_) {
      if (member->OwnAddress() == destination) takers.push_back(member);
    }
    if (takers.empty()) takers = members_;
    for (ISharedPortMember* member : takers) member->Take(datagram, peer, socket_.get());
  }
}

}  // namespace camlift::sim
