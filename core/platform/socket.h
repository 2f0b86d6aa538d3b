// SPDX-License-Identifier: Apache-2.0
// RAII ownership of a socket descriptor, and small helpers shared by the TCP and UDP code.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace camlift {

class TSocketHandle {
 public:
  TSocketHandle() = default;
  explicit TSocketHandle(int fd) : fd_(fd) {}
  TSocketHandle(const TSocketHandle&) = delete;
  TSocketHandle& operator=(const TSocketHandle&) = delete;
  TSocketHandle(TSocketHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  TSocketHandle& operator=(TSocketHandle&& other) noexcept;
  ~TSocketHandle();

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  // Closes the descriptor; returns the result of close() (0, or -1 on failure).
  int reset(int fd = -1);

 private:
  int fd_ = -1;
};

// Creates a UDP socket with SO_BROADCAST switched on; invalid handle on failure.
TSocketHandle MakeUdpSocket(bool broadcast);
// Binds to 0.0.0.0:port (port 0: any). Returns false on failure.
bool BindUdp(int fd, std::uint16_t port);
// Asks for a receive buffer that holds the replies of a large site arriving at once (the system
// may give less: net.core.rmem_max bounds it). Returns the size the system gave.
int EnlargeReceiveBuffer(int fd);
// Sends one datagram to address (network order) and port. Returns false on failure.
bool SendDatagram(int fd, std::uint32_t address, std::uint16_t port, const void* data,
                  std::size_t size);
// A datagram the system refused to send: where it was meant to go and the errno.
struct TSendProblem {
  std::uint32_t Address = 0;  // network byte order
  std::uint16_t Port = 0;
  int Error = 0;
  bool operator==(const TSendProblem&) const = default;
};
// Sends like SendDatagram and says why it could not: 0 when the datagram went out whole, else
// the errno (EMSGSIZE for a short send).
int SendDatagramError(int fd, std::uint32_t address, std::uint16_t port, const void* data,
                      std::size_t size);
// "255.255.255.255:7999: Network is unreachable" (the reason in English, as the system gives it).
std::string SendProblemText(const TSendProblem& problem);
// Waits until fd is readable; false on time-out or error.
bool WaitReadable(int fd, int timeout_ms);
// Dotted text of an address in network byte order.
std::string AddressText(std::uint32_t address);

}  // namespace camlift
