// SPDX-License-Identifier: Apache-2.0
// The listener behind every simulated camera port and the repository: cpp-httplib's server with
// the connection taken over just before HTTP starts.
//
// Port sharing (series K needs its CTP commands and HTTP on one TCP port): we sniff each accepted
// connection. `TSimHttpServer` overrides httplib's per-connection hook; when protocols are
// registered it peeks (MSG_PEEK, nothing consumed) at the first bytes the client sends and hands
// the socket to the first `IPortProtocol` that claims them; anything else goes to httplib's
// request processing through our own `httplib::Stream` over the socket. No proxy or second port
// is involved, so the record and the peer address stay those of the real client.
//
// The same hook gives the fault switches their hold on the socket before HTTP: a camera that
// accepts and never answers, or one that is going down and closes every new connection.
#pragma once

#include <httplib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "sim_tls.h"

namespace camlift::sim {

// Another protocol on a port that also serves HTTP. Implementations must be thread-safe: several
// connections may be served at once.
class IPortProtocol {
 public:
  virtual ~IPortProtocol() = default;
  // How many first bytes it needs to recognise its clients (at most 64).
  virtual std::size_t SniffLength() const = 0;
  // True when these first bytes belong to it. Fewer than SniffLength bytes arrive when the client
  // sent less within the sniff window.
  virtual bool Claims(std::span<const char> first_bytes) const = 0;
  // Serves the connection (nothing of it has been read yet) until it ends or stop becomes true;
  // stop is checked by the caller's own waits, so poll it at least every 100 ms. The caller
  // closes fd afterwards.
  virtual void Serve(int fd, const std::atomic<bool>& stop) = 0;
};

// What a listener does with a connection before HTTP.
enum class TAdmission {
  Serve,         // sniff / HTTP as usual
  CloseAtOnce,   // close without a byte (a camera that is going down)
  HoldSilently,  // keep it open, read and drop what arrives, never answer (until stop)
};

// Per-connection facts for the handlers, which run on the connection's own thread.
struct TConnectionContext {
  std::string listen_address;
  int listen_port = 0;
  std::string head;  // the request line and header lines exactly as they arrived
  bool head_complete = false;
  int fd = -1;
  // Set by a handler: close the connection without writing the response (a camera that drops
  // the line in the middle of an upload).
  bool abort = false;
  // The Content-Type of a multipart request as sent. httplib would otherwise read such a body
  // with its own multipart reader, so the camera moves the header out of its way first.
  std::string raw_content_type;
  bool recorded = false;  // a handler has already written the record line
  // Run after the response has been written and the socket closed (a camera that reboots after
  // it has answered).
  std::function<void()> after_close;
};
// The context of the connection served by the calling thread (nullptr outside a handler).
TConnectionContext* CurrentConnection();

class TSimHttpServer : public httplib::Server {
 public:
  TSimHttpServer();
  ~TSimHttpServer() override;

  void AddProtocol(std::shared_ptr<IPortProtocol> protocol);
  void SetAdmission(std::function<TAdmission()> admission) { admission_ = std::move(admission); }
  // Called for connections that never reached HTTP (held, closed at once, taken by a protocol).
  void SetConnectionNote(std::function<void(const std::string& peer, const std::string& note)> f) {
    note_ = std::move(f);
  }
  // Serves HTTPS with this context instead of plain HTTP (no other protocol is sniffed then).
  void SetTls(TSslContext context) { tls_ = std::move(context); }
  void SetListenAddress(std::string address, int port) {
    address_ = std::move(address);
    port_ = port;
  }
  // Stops accepting and makes every held or running connection end within about 100 ms.
  void Shutdown();
  const std::atomic<bool>& stopping() const { return stopping_; }

 private:
  bool process_and_close_socket(socket_t sock) override;
  void Hold(int fd);
  bool ServeHttp(int sock, SSL* ssl, TConnectionContext& context);

  std::vector<std::shared_ptr<IPortProtocol>> protocols_;
  std::function<TAdmission()> admission_;
  TSslContext tls_;
  std::function<void(const std::string&, const std::string&)> note_;
  std::string address_;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
};

// True for addresses that mean "every interface": empty, "*", "0.0.0.0", "::", "[::]".
bool IsWildcardAddress(const std::string& ip);

// One TSimHttpServer listening on ip:port on a thread of its own.
class TSimListener {
 public:
  using Setup = std::function<void(TSimHttpServer&)>;
  // Binds at once (port 0: any free port) and starts serving. Throws std::runtime_error when the
  // address is a wildcard (unless allowed) or cannot be bound.
  TSimListener(const std::string& ip, int port, const Setup& setup, bool allow_wildcard);
  ~TSimListener();
  TSimListener(const TSimListener&) = delete;
  TSimListener& operator=(const TSimListener&) = delete;

  const std::string& ip() const { return ip_; }
  int port() const { return port_; }
  // Stops and waits until every connection of this listener has ended.
  void Stop();

 private:
  std::string ip_;
  int port_ = 0;
  TSimHttpServer server_;
  std::thread thread_;
  std::once_flag stopped_;
};

}  // namespace camlift::sim
