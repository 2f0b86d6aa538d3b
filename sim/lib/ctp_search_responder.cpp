#include "ctp_search_responder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace camlift::sim {
namespace {

constexpr std::string_view kSearchPrefix = "SEARCH * CTP/1.0";
constexpr int kBindAttempts = 40;

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
  thread_ = std::thread([this] { Run(); });
}

TCtpSearchResponder::~TCtpSearchResponder() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void TCtpSearchResponder::Run() {
  std::array<char, 1500> datagram{};
  while (!stop_.load()) {
    if (!WaitReadable(socket_.get(), 50)) continue;
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    const ssize_t n = ::recvfrom(socket_.get(), datagram.data(), datagram.size(), 0,
                                 reinterpret_cast<sockaddr*>(&peer), &size);
    if (n <= 0) continue;
    const std::string_view request(datagram.data(), static_cast<std::size_t>(n));
    if (!request.starts_with(kSearchPrefix)) continue;  // another dialect: not ours
    const TCtpSearchIdentity id = identity_();
    for (int i = 0; i < id.others_before; ++i) {
      TCtpSearchIdentity other = id;
      other.ip = "127.254." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
      other.serial = id.serial + "-other" + std::to_string(i);
      const std::string text = BuildCtpSearchReply(other);
      SendDatagram(socket_.get(), peer.sin_addr.s_addr, ntohs(peer.sin_port), text.data(),
                   text.size());
    }
    const std::string reply = BuildCtpSearchReply(id);
    SendDatagram(socket_.get(), peer.sin_addr.s_addr, ntohs(peer.sin_port), reply.data(),
                 reply.size());
    if (recorder_) {
      recorder_->Append(
          {{"role", "camera"},
           {"name", record_name_},
           {"series", "K"},
           {"protocol", "CTP-search"},
           {"address", id.ip},
           {"port", port_},
           {"peer", AddressText(peer.sin_addr.s_addr) + ":" + std::to_string(ntohs(peer.sin_port))},
           {"request", Printable(request)},
           {"reply", Printable(reply)}});
    }
  }
}

}  // namespace camlift::sim
