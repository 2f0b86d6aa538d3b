// SPDX-License-Identifier: Apache-2.0
#include "sim_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "sim_timing.h"

namespace camlift::sim {
namespace {

thread_local TConnectionContext* g_current = nullptr;

constexpr int kPollSliceMs = 50;
constexpr std::size_t kMaxHeadBytes = 65536;
constexpr std::size_t kMaxSniffBytes = 64;

// Waits for events on fd in short slices so that a stopping server is noticed quickly.
// True when ready; false on time-out, stop, or a socket error without the wanted event.
bool WaitFor(int fd, short events, int timeout_ms, const std::atomic<bool>& stop) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!stop.load()) {
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, kPollSliceMs);
    if (r > 0) return (p.revents & (events | POLLHUP | POLLERR)) != 0;
    if (r < 0 && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
  }
  return false;
}

void AddressOf(const sockaddr_storage& addr, std::string& ip, int& port) {
  char text[INET6_ADDRSTRLEN] = {};
  if (addr.ss_family == AF_INET) {
    const auto* a = reinterpret_cast<const sockaddr_in*>(&addr);
    inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
    port = ntohs(a->sin_port);
  } else if (addr.ss_family == AF_INET6) {
    const auto* a = reinterpret_cast<const sockaddr_in6*>(&addr);
    inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
    port = ntohs(a->sin6_port);
  }
  ip = text;
}

std::string PeerText(int fd) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return "";
  std::string ip;
  int port = 0;
  AddressOf(addr, ip, port);
  return ip + ":" + std::to_string(port);
}

// httplib's request processing over a socket we own. Reads are buffered (httplib reads header
// lines a byte at a time) and every byte handed up until the end of the header block is kept in
// the connection context, so the record holds the request head exactly as it came.
class TFdStream : public httplib::Stream {
 public:
  // With ssl, the bytes go through TLS on a non-blocking fd; without, straight over fd.
  TFdStream(int fd, SSL* ssl, const std::atomic<bool>& stop, TConnectionContext& context)
      : fd_(fd), ssl_(ssl), stop_(stop), context_(context), idle_ms_(Millis(SimWait::ClientIdle)) {}

  bool is_readable() const override {
    return pos_ < len_ || (ssl_ && SSL_pending(ssl_) > 0) || WaitFor(fd_, POLLIN, idle_ms_, stop_);
  }
  bool is_writable() const override { return WaitFor(fd_, POLLOUT, idle_ms_, stop_); }

  ssize_t read(char* ptr, size_t size) override {
    if (pos_ == len_) {
      const ssize_t n = ReceiveSome();
      if (n <= 0) return n;
      pos_ = 0;
      len_ = static_cast<std::size_t>(n);
    }
    const std::size_t n = std::min(size, len_ - pos_);
    std::memcpy(ptr, buffer_ + pos_, n);
    pos_ += n;
    Capture(ptr, n);
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      if (!WaitFor(fd_, POLLOUT, idle_ms_, stop_)) return -1;
      const ssize_t n = ssl_ ? SendTls(ptr + done, size - done)
                             : ::send(fd_, ptr + done, size - done, MSG_NOSIGNAL);
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        return -1;
      }
      done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (getpeername(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0) AddressOf(addr, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0) AddressOf(addr, ip, port);
  }
  socket_t socket() const override { return fd_; }

 private:
  ssize_t ReceiveSome() {
    if (!ssl_) {
      if (!WaitFor(fd_, POLLIN, idle_ms_, stop_)) return -1;
      return ::recv(fd_, buffer_, sizeof buffer_, 0);
    }
    for (;;) {
      const int n = SSL_read(ssl_, buffer_, sizeof buffer_);
      if (n > 0) return n;
      const int error = SSL_get_error(ssl_, n);
      if (error == SSL_ERROR_ZERO_RETURN) return 0;
      const short wanted = error == SSL_ERROR_WANT_READ    ? POLLIN
                           : error == SSL_ERROR_WANT_WRITE ? POLLOUT
                                                           : 0;
      if (wanted == 0 || !WaitFor(fd_, wanted, idle_ms_, stop_)) return -1;
    }
  }

  // SSL_write on a non-blocking socket: a write that would block is retried with the same bytes.
  ssize_t SendTls(const char* data, std::size_t size) {
    const int n = SSL_write(ssl_, data, static_cast<int>(std::min<std::size_t>(size, 1 << 20)));
    if (n > 0) return n;
    const int error = SSL_get_error(ssl_, n);
    if (error == SSL_ERROR_WANT_WRITE || error == SSL_ERROR_WANT_READ) {
      errno = EAGAIN;
      return -1;
    }
    errno = EPIPE;
    return -1;
  }

  void Capture(const char* data, std::size_t n) {
    if (context_.head_complete) return;
    const std::size_t before = context_.head.size();
    context_.head.append(data, std::min(n, kMaxHeadBytes - before));
    const std::size_t from = before >= 3 ? before - 3 : 0;
    const std::size_t end = context_.head.find("\r\n\r\n", from);
    if (end != std::string::npos) {
      context_.head.resize(end + 4);
      context_.head_complete = true;
    } else if (context_.head.size() >= kMaxHeadBytes) {
      context_.head_complete = true;
    }
  }

  int fd_;
  SSL* ssl_;
  const std::atomic<bool>& stop_;
  TConnectionContext& context_;
  int idle_ms_;
  char buffer_[16384];
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
};

// Ends our side, lets the client read what we sent and close its side, then closes. Closing at
// once with unread request bytes in the socket would turn the answer into a reset.
void CloseGracefully(int fd, const std::atomic<bool>& stop) {
  ::shutdown(fd, SHUT_WR);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(Millis(SimWait::CloseLinger));
  char sink[4096];
  while (std::chrono::steady_clock::now() < deadline && !stop.load()) {
    if (!WaitFor(fd, POLLIN, kPollSliceMs, stop)) continue;
    if (::recv(fd, sink, sizeof sink, 0) <= 0) break;
  }
  ::close(fd);
}

// The server side of the handshake on a non-blocking socket, in short waits.
bool AcceptTls(int fd, SSL* ssl, const std::atomic<bool>& stop) {
  for (;;) {
    const int r = SSL_accept(ssl);
    if (r == 1) return true;
    const int error = SSL_get_error(ssl, r);
    const short wanted = error == SSL_ERROR_WANT_READ    ? POLLIN
                         : error == SSL_ERROR_WANT_WRITE ? POLLOUT
                                                         : 0;
    if (wanted == 0 || !WaitFor(fd, wanted, Millis(SimWait::ClientIdle), stop)) return false;
  }
}

// An abrupt end: the client sees a reset, as when a camera drops the line.
void CloseAbruptly(int fd) {
  linger l{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  ::close(fd);
}

}  // namespace

TConnectionContext* CurrentConnection() { return g_current; }

bool IsWildcardAddress(const std::string& ip) {
  return ip.empty() || ip == "*" || ip == "0.0.0.0" || ip == "::" || ip == "[::]" ||
         ip == "0:0:0:0:0:0:0:0";
}

TSimHttpServer::TSimHttpServer() = default;
TSimHttpServer::~TSimHttpServer() = default;

void TSimHttpServer::AddProtocol(std::shared_ptr<IPortProtocol> protocol) {
  protocols_.push_back(std::move(protocol));
}

void TSimHttpServer::Shutdown() {
  stopping_ = true;
  // Closing the listening socket ourselves (rather than through stop(), which acts only once the
  // accept loop has flagged itself running) also works before that loop has started.
  const socket_t listening = svr_sock_.exchange(INVALID_SOCKET);
  if (listening != INVALID_SOCKET) {
    ::shutdown(listening, SHUT_RDWR);
    ::close(listening);
  }
}

void TSimHttpServer::Hold(int fd) {
  char sink[4096];
  while (!stopping_.load()) {
    if (!WaitFor(fd, POLLIN, kPollSliceMs, stopping_)) continue;
    if (::recv(fd, sink, sizeof sink, 0) <= 0) break;  // the client gave up
  }
}

bool TSimHttpServer::process_and_close_socket(socket_t sock) {
  TConnectionContext context;
  context.listen_address = address_;
  context.listen_port = port_;
  context.fd = sock;
  const std::string peer = PeerText(sock);
  auto note = [&](const std::string& text) {
    if (note_) note_(peer, text);
  };

  const TAdmission admission = admission_ ? admission_() : TAdmission::Serve;
  if (admission == TAdmission::CloseAtOnce) {
    note("connection closed at once: the camera is going down");
    CloseAbruptly(sock);
    return true;
  }
  if (admission == TAdmission::HoldSilently) {
    note("connection accepted and never answered (fault never-answers)");
    Hold(sock);
    CloseAbruptly(sock);
    return true;
  }

  if (!protocols_.empty()) {
    std::size_t want = 0;
    for (const auto& p : protocols_) want = std::max(want, p->SniffLength());
    want = std::min(want, kMaxSniffBytes);
    char first[kMaxSniffBytes];
    ssize_t have = 0;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(Millis(SimWait::SniffWindow));
    while (!stopping_.load() && std::chrono::steady_clock::now() < deadline) {
      if (!WaitFor(sock, POLLIN, kPollSliceMs, stopping_)) continue;
      have = ::recv(sock, first, want, MSG_PEEK | MSG_DONTWAIT);
      if (have <= 0 || static_cast<std::size_t>(have) >= want) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));  // part of it is there
    }
    if (have > 0) {
      for (const auto& p : protocols_) {
        const std::size_t n =
            std::min<std::size_t>(static_cast<std::size_t>(have), p->SniffLength());
        if (p->Claims(std::span<const char>(first, n))) {
          p->Serve(sock, stopping_);
          ::close(sock);
          return true;
        }
      }
    }
  }

  if (tls_) {
    struct SslFree {
      void operator()(SSL* s) const { SSL_free(s); }
    };
    std::unique_ptr<SSL, SslFree> ssl(SSL_new(tls_.get()));
    ::fcntl(sock, F_SETFL, ::fcntl(sock, F_GETFL) | O_NONBLOCK);
    if (!ssl || SSL_set_fd(ssl.get(), sock) != 1 || !AcceptTls(sock, ssl.get(), stopping_)) {
      note("TLS handshake failed");
      CloseAbruptly(sock);
      return true;
    }
    const bool ok = ServeHttp(sock, ssl.get(), context);
    return ok;
  }
  return ServeHttp(sock, nullptr, context);
}

bool TSimHttpServer::ServeHttp(int sock, SSL* ssl, TConnectionContext& context) {
  g_current = &context;
  TFdStream stream(sock, ssl, stopping_, context);
  bool connection_closed = false;
  // httplib reads a multipart body with its own (lenient) reader whenever the Content-Type says
  // so; our handlers read it strictly themselves (sim_multipart.h), so the header is moved aside
  // before routing and kept in the context.
  auto move_multipart_type = [&context](httplib::Request& req) {
    if (!req.is_multipart_form_data()) return;
    context.raw_content_type = req.get_header_value("Content-Type");
    auto range = req.headers.equal_range("Content-Type");
    req.headers.erase(range.first, range.second);
    req.headers.emplace("Content-Type", "application/x-camlift-sim-multipart");
  };
  const bool ok = process_request(stream, true, connection_closed, move_multipart_type);
  g_current = nullptr;
  if (context.abort) {
    CloseAbruptly(sock);
  } else {
    if (ssl) SSL_shutdown(ssl);  // one try: the close notify, without waiting for the client's
    CloseGracefully(sock, stopping_);
  }
  if (context.after_close) context.after_close();
  return ok;
}

TSimListener::TSimListener(const std::string& ip, int port, const Setup& setup, bool allow_wildcard)
    : ip_(ip) {
  if (IsWildcardAddress(ip) && !allow_wildcard) {
    throw std::runtime_error("refusing to listen on the wildcard address \"" + ip +
                             "\" (give a loopback or namespace address, or --allow-wildcard)");
  }
  if (port < 0 || port > 65535)
    throw std::runtime_error("port out of range: " + std::to_string(port));
  // Address reuse for a quick restart, but no shared port: a second simulator on the same
  // address fails to start instead of taking half of the first one's connections.
  server_.set_socket_options([](socket_t socket) {
    int on = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  });
  if (setup) setup(server_);
  if (port == 0) {
    port_ = server_.bind_to_any_port(ip);
    if (port_ <= 0) throw std::runtime_error("cannot listen on " + ip + " (any port)");
  } else {
    if (!server_.bind_to_port(ip, port)) {
      throw std::runtime_error("cannot listen on " + ip + ":" + std::to_string(port) + ": " +
                               std::strerror(errno));
    }
    port_ = port;
  }
  server_.SetListenAddress(ip_, port_);
  thread_ = std::thread([this] { server_.listen_after_bind(); });
}

TSimListener::~TSimListener() { Stop(); }

void TSimListener::Stop() {
  std::call_once(stopped_, [this] {
    server_.Shutdown();
    if (thread_.joinable()) thread_.join();
  });
}

}  // namespace camlift::sim
