// SPDX-License-Identifier: Apache-2.0
#include "search_responder.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "platform/broadcast.h"
#include "sim_timing.h"

namespace camlift::sim {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Hex(std::span<const std::uint8_t> bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 0x0F];
  }
  return out;
}

}  // namespace

bool ParseMacText(const std::string& text, std::array<std::uint8_t, 6>& mac) {
  std::string digits;
  for (char c : text) {
    if (c == ':' || c == '-') continue;
    if (HexDigit(c) < 0) return false;
    digits += c;
  }
  if (digits.size() != 12) return false;
  for (std::size_t i = 0; i < 6; ++i) {
    mac[i] = static_cast<std::uint8_t>(HexDigit(digits[2 * i]) * 16 + HexDigit(digits[2 * i + 1]));
  }
  return true;
}

void PutText(TBytes& bytes, std::size_t offset, std::size_t width, const std::string& text) {
  if (bytes.size() < offset + width) bytes.resize(offset + width, 0);
  std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
            bytes.begin() + static_cast<std::ptrdiff_t>(offset + width), 0);
  std::memcpy(bytes.data() + offset, text.data(), std::min(width, text.size()));
}

void PutU16LE(TBytes& bytes, std::size_t offset, std::uint16_t value) {
  if (bytes.size() < offset + 2) bytes.resize(offset + 2, 0);
  bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutDotted(TBytes& bytes, std::size_t offset, const std::string& dotted) {
  if (bytes.size() < offset + 4) bytes.resize(offset + 4, 0);
  const std::optional<std::uint32_t> address = ParseDottedIPv4(dotted);
  const std::uint32_t host = address ? ntohl(*address) : 0;
  for (std::size_t i = 0; i < 4; ++i) {
    bytes[offset + i] = static_cast<std::uint8_t>(host >> (24 - 8 * i));
  }
}

bool SendDatagramFrom(int socket, const std::string& source, const sockaddr_in& peer,
                      const void* data, std::size_t size) {
  const std::optional<std::uint32_t> from = ParseDottedIPv4(source);
  if (from) {
    // IP_PKTINFO picks the source address of this one datagram.
    iovec part{const_cast<void*>(data), size};
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(in_pktinfo))> control{};
    msghdr message{};
    message.msg_name = const_cast<sockaddr_in*>(&peer);
    message.msg_namelen = sizeof peer;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_spec_dst.s_addr = *from;
    std::memcpy(CMSG_DATA(header), &info, sizeof info);
    if (::sendmsg(socket, &message, 0) == static_cast<ssize_t>(size)) return true;
  }
  return ::sendto(socket, data, size, 0, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) ==
         static_cast<ssize_t>(size);
}

TSearchResponder::TSearchResponder(std::string dialect, std::uint16_t port, TAnswerFn answer,
                                   std::shared_ptr<TSimRecorder> recorder, std::string camera_name)
    : dialect_(std::move(dialect)),
      port_(port),
      answer_(std::move(answer)),
      recorder_(std::move(recorder)),
      camera_name_(std::move(camera_name)) {}

TSearchResponder::~TSearchResponder() { Stop(); }

void TSearchResponder::Start() {
  Stop();
  own_address_ = ParseDottedIPv4(reply_source_).value_or(0);
  if (port_ != 0 && !slow_) {
    try {
      shared_ = TSharedSearchPort::Join(port_, this);
    } catch (const std::exception& e) {
      throw std::runtime_error("search responder " + dialect_ + ": " + e.what());
    }
    return;
  }
  TSocketHandle socket = MakeUdpSocket(true);
  int on = 1;
  if (!socket.valid() ||
      ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      !BindUdp(socket.get(), port_)) {
    throw std::runtime_error("search responder " + dialect_ + ": cannot bind UDP port " +
                             std::to_string(port_) + ": " + std::strerror(errno));
  }
  // Every camera of a site on one loopback hears every broadcast of the search, the 1010
  // follow-ups for the other cameras included: hundreds a pass, which a default buffer drops.
  EnlargeReceiveBuffer(socket.get());
  sockaddr_in local{};
  socklen_t length = sizeof local;
  ::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&local), &length);
  port_ = ntohs(local.sin_port);
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::runtime_error("search responder: pipe failed");
  }
  wake_read_.reset(pipe_fds[0]);
  wake_write_.reset(pipe_fds[1]);
  socket_ = std::move(socket);
  stop_ = false;
  thread_ = std::thread([this] { Serve(); });
}

void TSearchResponder::Stop() {
  if (shared_) {
    shared_->Leave(this);
    shared_.reset();
  }
  if (thread_.joinable()) {
    stop_ = true;
    const char wake = 1;
    [[maybe_unused]] const auto written = ::write(wake_write_.get(), &wake, 1);
    thread_.join();
  }
  socket_.reset();
  wake_read_.reset();
  wake_write_.reset();
}

void TSearchResponder::Serve() {
  std::array<std::uint8_t, 2048> buffer{};
  while (!stop_) {
    std::array<pollfd, 2> fds{{{socket_.get(), POLLIN, 0}, {wake_read_.get(), POLLIN, 0}}};
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (stop_ || (fds[1].revents & POLLIN)) return;
    if (!(fds[0].revents & POLLIN)) continue;
    sockaddr_in peer{};
    socklen_t peer_length = sizeof peer;
    const ssize_t n = ::recvfrom(socket_.get(), buffer.data(), buffer.size(), MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&peer), &peer_length);
    if (n < 0) continue;
    Take(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(n)), peer,
         socket_.get());
  }
}

std::uint32_t TSearchResponder::OwnAddress() const { return own_address_; }

void TSearchResponder::Take(std::span<const std::uint8_t> datagram, const sockaddr_in& peer,
                            int socket) {
  ++received_;
  if (on_datagram_) on_datagram_(peer);
  const std::vector<TBytes> answers = answer_(datagram);
  if (slow_ && !answers.empty())
    std::this_thread::sleep_for(std::chrono::milliseconds(Millis(SimWait::SlowSearchReply)));
  for (std::size_t i = 0; i < answers.size(); ++i) {
    const TBytes& answer = answers[i];
    SendDatagramFrom(socket, reply_source_, peer, answer.data(), answer.size());
    // A flood of answers goes out at a pace the receiver's buffer keeps up with.
    if (i % 32 == 31) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (recorder_ && recorder_->Records()) {
    recorder_->Append(
        {{"role", "camera"},
         {"name", camera_name_},
         {"protocol", "udp"},
         {"dialect", dialect_},
         {"port", port_},
         {"peer", AddressText(peer.sin_addr.s_addr) + ":" + std::to_string(ntohs(peer.sin_port))},
         {"size", datagram.size()},
         {"datagram", Hex(datagram)},
         {"answers", answers.size()}});
  }
}

}  // namespace camlift::sim
