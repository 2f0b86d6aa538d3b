// SPDX-License-Identifier: Apache-2.0
#include "ctp_search_responder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "search_responder.h"
#include "sim_timing.h"

namespace camlift::sim {
namespace {

constexpr std::string_view kSearchPrefix = "SEARCH * CTP/1.0";
constexpr int kBindAttempts = 40;

// A socket on address:port beside the wildcard ones; invalid when the address is not one of
// this host's (or not an address at all).
TSocketHandle BindDirect(const std::string& ip, int port) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::inet_pton(AF_INET, ip.c_str(), &local.sin_addr) != 1) return {};
  if (local.sin_addr.s_addr == htonl(INADDR_ANY)) return {};  // the wildcard socket is that one
  TSocketHandle socket = MakeUdpSocket(false);
  int on = 1;
  ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (!socket.valid() ||
      ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    return {};
  }
  return socket;
}

}  // namespace

std::string BuildCtpSearchReply(const TCtpSearchIdentity& id) {
  std::string text = "REPLY CTP/1.0 200 OK\r\n";
  auto line = [&text](std::string_view key, const std::string& value) {
    text.append(key).append(" ").append(value).append("\r\n");
  };
  line("-name", id.name);
  line("-sn", id.serial);
  line("-ip", id.ip);
  line("-netmask", id.netmask);
  line("-portctp", std::to_string(id.port));
  line("-dhcpen", id.dhcp ? "1" : "0");
  line("-mdns", id.dns1);
  line("-sdns", id.dns2);
  line("-gw", id.gateway);
  line("-mac", id.mac);
  line("-version", "sys " + id.sys_version + " ui " + id.ui_version);
  return text;
}

TCtpSearchResponder::TCtpSearchResponder(IdentityFn identity,
                                         std::shared_ptr<TSimRecorder> recorder,
                                         std::string record_name, int port)
    : identity_(std::move(identity)),
      recorder_(std::move(recorder)),
      record_name_(std::move(record_name)),
      port_(port) {
  socket_ = MakeUdpSocket(false);
  int on = 1;
  ::setsockopt(socket_.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  // A searching program may hold the port for the few hundred milliseconds of its search.
  bool bound = false;
  for (int attempt = 0; socket_.valid() && attempt < kBindAttempts && !bound; ++attempt) {
    bound = BindUdp(socket_.get(), static_cast<std::uint16_t>(port));
    if (!bound && errno != EADDRINUSE) break;
    if (!bound) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!bound) {
    throw std::runtime_error("cannot bind the CTP search responder to UDP port " +
                             std::to_string(port) + ": " + std::strerror(errno));
  }
  sockaddr_in local{};
  socklen_t size = sizeof local;
  ::getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&local), &size);
  port_ = ntohs(local.sin_port);
  direct_socket_ = BindDirect(identity_().ip, port_);
  thread_ = std::thread([this] { Run(); });
}

TCtpSearchResponder::~TCtpSearchResponder() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void TCtpSearchResponder::Run() {
  while (!stop_.load()) {
    std::array<pollfd, 2> fds{{{socket_.get(), POLLIN, 0}, {direct_socket_.get(), POLLIN, 0}}};
    const nfds_t count = direct_socket_.valid() ? 2 : 1;
    if (::poll(fds.data(), count, 50) <= 0) continue;
    for (nfds_t i = 0; i < count; ++i) {
      if (fds[i].revents & POLLIN) Answer(fds[i].fd);
    }
  }
}

void TCtpSearchResponder::Answer(int socket) {
  std::array<char, 1500> datagram{};
  sockaddr_in peer{};
  socklen_t size = sizeof peer;
  const ssize_t n = ::recvfrom(socket, datagram.data(), datagram.size(), MSG_DONTWAIT,
                               reinterpret_cast<sockaddr*>(&peer), &size);
  if (n <= 0) return;
  const std::string_view request(datagram.data(), static_cast<std::size_t>(n));
  if (!request.starts_with(kSearchPrefix)) return;  // another dialect: not ours
  const TCtpSearchIdentity id = identity_();
  // A crowded site: other cameras' replies reach the searcher before this camera's own.
  for (int i = 0; i < id.others_before; ++i) {
    TCtpSearchIdentity other = id;
    other.ip = "127.254." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
    other.serial = id.serial + "-other" + std::to_string(i);
    const std::string text = BuildCtpSearchReply(other);
    SendDatagramFrom(socket, other.ip, peer, text.data(), text.size());
  }
  const std::string reply = BuildCtpSearchReply(id);
  if (id.slow)
    std::this_thread::sleep_for(std::chrono::milliseconds(Millis(SimWait::SlowSearchReply)));
  // The answer leaves from the camera's own address, as a real camera's does, also when the
  // search came in as a broadcast.
  SendDatagramFrom(socket, id.source_ip.empty() ? id.ip : id.source_ip, peer, reply.data(),
                   reply.size());
  if (recorder_) {
    recorder_->Append(
        {{"role", "camera"},
         {"name", record_name_},
         {"series", "K"},
         {"protocol", "CTP-search"},
         {"address", id.ip},
         {"port", port_},
         {"direct", socket == direct_socket_.get()},
         {"peer", AddressText(peer.sin_addr.s_addr) + ":" + std::to_string(ntohs(peer.sin_port))},
         {"request", Printable(request)},
         {"reply", Printable(reply)}});
  }
}

}  // namespace camlift::sim
