// SPDX-License-Identifier: Apache-2.0
#include "raw_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace camlift::test {

RawReply HttpReply(int status, const std::string& reason, const std::string& body,
                   const std::string& extra_headers) {
  RawReply reply;
  reply.segments.push_back("HTTP/1.1 " + std::to_string(status) + " " + reason +
                           "\r\nContent-Length: " + std::to_string(body.size()) +
                           "\r\nConnection: close\r\n" + extra_headers + "\r\n" + body);
  return reply;
}

TRawHttpServer::TRawHttpServer(Handler handler) : handler_(std::move(handler)) {
  listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  int on = 1;
  ::setsockopt(listener_.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::listen(listener_.get(), 16);
  socklen_t len = sizeof addr;
  ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

TRawHttpServer::~TRawHttpServer() {
  stop_ = true;
  thread_.join();
}

std::string TRawHttpServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> TRawHttpServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void TRawHttpServer::Serve() {
  while (!stop_) {
    if (!WaitReadable(listener_.get(), 20)) continue;
    TSocketHandle conn(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (conn.valid()) HandleConnection(conn.get());
  }
}

void TRawHttpServer::HandleConnection(int fd) {
  std::string request;
  char buffer[4096];
  std::size_t header_end = std::string::npos;
  std::size_t wanted = 0;
  while (!stop_) {
    if (header_end != std::string::npos && request.size() >= wanted) break;
    if (!WaitReadable(fd, 20)) continue;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<std::size_t>(n));
    if (header_end == std::string::npos) {
      header_end = request.find("\r\n\r\n");
      if (header_end != std::string::npos) {
        wanted = header_end + 4;
        const auto cl = request.find("Content-Length:");
        if (cl != std::string::npos && cl < header_end) {
          wanted += std::strtoul(request.c_str() + cl + 15, nullptr, 10);
        }
      }
    }
  }
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
  }
  const RawReply reply = handler_(request);
  if (reply.never_answer) {
    while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return;
  }
  for (std::size_t i = 0; i < reply.segments.size(); ++i) {
    if (i && reply.segment_gap_ms) {
      std::this_thread::sleep_for(std::chrono::milliseconds(reply.segment_gap_ms));
    }
    ::send(fd, reply.segments[i].data(), reply.segments[i].size(), MSG_NOSIGNAL);
  }
  ::shutdown(fd, SHUT_WR);
}

std::vector<std::string> HeaderLines(const std::string& request) {
  std::vector<std::string> lines;
  const auto end = request.find("\r\n\r\n");
  std::size_t pos = request.find("\r\n");
  while (pos != std::string::npos && pos < end) {
    const std::size_t next = request.find("\r\n", pos + 2);
    lines.push_back(request.substr(pos + 2, next - pos - 2));
    pos = next;
  }
  return lines;
}

}  // namespace camlift::test
