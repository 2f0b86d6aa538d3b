// SPDX-License-Identifier: Apache-2.0
// A loopback HTTP server for tests that records every request byte for byte and answers with
// scripted bytes: whole, in several segments, or never.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"

namespace camlift::test {

struct RawReply {
  std::vector<std::string> segments;  // written one after another
  int segment_gap_ms = 0;             // pause between two segments
  bool never_answer = false;          // keep the connection open and silent until stop
};

RawReply HttpReply(int status, const std::string& reason, const std::string& body,
                   const std::string& extra_headers = "");

class TRawHttpServer {
 public:
  using Handler = std::function<RawReply(const std::string& request)>;
  explicit TRawHttpServer(Handler handler);
  ~TRawHttpServer();

  int port() const { return port_; }
  std::string url(const std::string& path = "/") const;
  std::vector<std::string> requests() const;

 private:
  void Serve();
  void HandleConnection(int fd);

  Handler handler_;
  TSocketHandle listener_;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// The header lines (without the request line) of a recorded request.
std::vector<std::string> HeaderLines(const std::string& request);

}  // namespace camlift::test
