// SPDX-License-Identifier: Apache-2.0
// The CTP search responder of a simulated series K camera: answers "SEARCH * CTP/1.0" datagrams
// on UDP 7999 with a "REPLY" text of "-key value" lines, sent back to the asking address and
// port. Every camera binds 0.0.0.0:7999 with address reuse, so that all of them hear a
// broadcast, and its own address on the same port, so that a search sent straight to the camera
// (from another subnet, or beside other cameras on loopback) reaches that camera and no other.
// Each request and answer becomes a record line ("protocol": "CTP-search").
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/socket.h"
#include "sim_record.h"

namespace camlift::sim {

struct TCtpSearchIdentity {
  std::string name = "Camlift K camera";
  std::string serial = "SIMK-000001";
  std::string ip = "127.0.0.2";
  std::string netmask = "255.0.0.0";
  int port = 81;
  bool dhcp = false;
  std::string dns1 = "127.0.0.1";
  std::string dns2 = "127.0.0.1";
  std::string gateway = "127.0.0.1";
  std::string mac = "00:11:22:33:44:55";
  std::string sys_version = "1.0.0.1";
  std::string ui_version = "1.0.0.1";
  // A crowded site: before its own answer the responder sends the replies of this many other
  // cameras (addresses 127.254.x.y, the same versions), in one burst.
  int others_before = 0;
  // The address the replies leave from (the camera's own; ip is what they name); empty: ip.
  std::string source_ip;
  // The fault slow-search: the reply leaves after SimWait::SlowSearchReply.
  bool slow = false;
};

// The reply text: "REPLY CTP/1.0 200 OK" and one line per field, each ending in CR LF. The
// version line reads "-version sys <system version> ui <UI version>".
std::string BuildCtpSearchReply(const TCtpSearchIdentity& identity);

class TCtpSearchResponder {
 public:
  using IdentityFn = std::function<TCtpSearchIdentity()>;
  // Binds at once (port 0: any free port, for tests that send to it directly). Throws
  // std::runtime_error when the port cannot be bound.
  TCtpSearchResponder(IdentityFn identity, std::shared_ptr<TSimRecorder> recorder,
                      std::string record_name, int port = 7999);
  ~TCtpSearchResponder();
  TCtpSearchResponder(const TCtpSearchResponder&) = delete;
  TCtpSearchResponder& operator=(const TCtpSearchResponder&) = delete;
  int port() const { return port_; }

 private:
  void Run();
  void Answer(int socket);
  IdentityFn identity_;
  std::shared_ptr<TSimRecorder> recorder_;
  std::string record_name_;
  int port_;
  TSocketHandle socket_;
  TSocketHandle direct_socket_;  // bound to the camera's own address; invalid when it cannot be
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace camlift::sim
