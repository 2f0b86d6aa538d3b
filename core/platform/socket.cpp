// SPDX-License-Identifier: Apache-2.0
#include "platform/socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace camlift {

TSocketHandle& TSocketHandle::operator=(TSocketHandle&& other) noexcept {
  if (this != &other) reset(other.release());
  return *this;
}

TSocketHandle::~TSocketHandle() { reset(); }

int TSocketHandle::reset(int fd) {
  int result = 0;
  if (fd_ >= 0) result = ::close(fd_);
  fd_ = fd;
  return result;
}

TSocketHandle MakeUdpSocket(bool broadcast) {
  TSocketHandle s(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (s.valid() && broadcast) {
    int on = 1;
    ::setsockopt(s.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  }
  return s;
}

bool BindUdp(int fd, std::uint16_t port) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  return ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

int EnlargeReceiveBuffer(int fd) {
  // 1 MiB holds some two thousand small replies as the kernel counts them.
  int wanted = 1 << 20;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &wanted, sizeof wanted);
  int given = 0;
  socklen_t length = sizeof given;
  ::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &given, &length);
  return given;
}

bool SendDatagram(int fd, std::uint32_t address, std::uint16_t port, const void* data,
                  std::size_t size) {
  return SendDatagramError(fd, address, port, data, size) == 0;
}

int SendDatagramError(int fd, std::uint32_t address, std::uint16_t port, const void* data,
                      std::size_t size) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr.s_addr = address;
  const ssize_t n =
      ::sendto(fd, data, size, 0, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
  if (n < 0) return errno;
  return n == static_cast<ssize_t>(size) ? 0 : EMSGSIZE;
}

std::string SendProblemText(const TSendProblem& problem) {
  return AddressText(problem.Address) + ":" + std::to_string(problem.Port) + ": " +
         std::generic_category().message(problem.Error);
}

bool WaitReadable(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  for (;;) {
    const int r = ::poll(&p, 1, timeout_ms);
    if (r < 0 && errno == EINTR) continue;
    return r > 0;
  }
}

std::string AddressText(std::uint32_t address) {
  char text[INET_ADDRSTRLEN] = {};
  in_addr a{};
  a.s_addr = address;
  ::inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

}  // namespace camlift
