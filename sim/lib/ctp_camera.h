// SPDX-License-Identifier: Apache-2.0
// The CTP side of a simulated series K camera: the command service that shares the camera's web
// port (told apart by the first bytes of a connection).
//
// What it understands (CR LF line ends; numbers in decimal):
//   "CMD cfgusr CTP/1.0", header lines, an empty line, then a body of Content-Length bytes that
//       must read "-login <user>:<password>" CR LF CR LF. Answer "CTP/1.0 200 OK" when the
//       account matches and the length is right, else 401 (account) or 400 (framing).
//   "CMD exit CTP/1.0" after a login on the same connection: answer 200 and enter the upgrade
//       mode (the next connection may send the package).
//   "CMD <L>" then L bytes: "echo hello" is the probe, anything else a command of the package;
//       both answered "REPLY OK" in the upgrade mode only.
//   "FILE <m>" then m bytes "<name> <D>": a file of D bytes follows.
//   "DATA <k>" then k bytes (1 to 1400, never past D).
//   "MD5 16" then the 16 digest bytes of the file's data: "REPLY OK" when they match.
//   A refusal is "REPLY ERR <why>".
// When a connection in the upgrade mode ends after every announced file arrived whole with a
// matching digest, the camera reports the files to its owner (which restarts it) and leaves the
// upgrade mode either way.
// Every request becomes one record line (role "camera", "protocol": "CTP"), written after its
// answer; "seq" numbers the requests in the order they were read, across every camera of the
// process, so that a request of the client's next connection that is recorded first still reads
// as the later one (CtpRequestLines).
// To add a verb: a handler beside the others and a row of kVerbs (ctp_camera.cpp). A fault: a
// row of CAMLIFT_SIM_CTP_FAULTS (ctp_faults.h), which holds its rule too.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"
#include "sim_faults.h"
#include "sim_http_server.h"
#include "sim_record.h"

namespace camlift::sim {

struct TCtpCameraSettings {
  std::string name;     // for the record
  std::string address;  // for the record
  int port = 0;         // for the record
  std::string user = "admin";
  std::string password;
  // Camera faults (sim_faults.h); the service acts on those with a rule (ctp_faults.h).
  std::set<TCameraFault> faults;
  std::string upload_dir;  // when set, every received file is written there (name sanitised)
  // One record line per accepted data block. Off, accepted blocks are only counted ("data_blocks"
  // in the digest's line), which keeps the camera's bookkeeping out of transfer-speed figures;
  // refused blocks are always recorded.
  bool record_data_blocks = true;
  bool has(TCameraFault f) const { return faults.count(f) != 0; }
};

struct TCtpReceivedFile {
  std::string name;
  std::uint64_t size = 0;
  std::string md5;        // of the data as it arrived (unscrambled), lower-case hex
  std::string head;       // the first 4096 bytes
  bool complete = false;  // every byte arrived and the digest matched
};

// The request lines of the CTP entries of a record, in the order the cameras read them.
std::vector<std::string> CtpRequestLines(std::span<const nlohmann::json> entries);

class TCtpCamera : public IPortProtocol {
 public:
  using UpgradedFn = std::function<void(const std::vector<TCtpReceivedFile>& files)>;
  TCtpCamera(TCtpCameraSettings settings, std::shared_ptr<TSimRecorder> recorder,
             UpgradedFn on_upgraded = {});

  std::size_t SniffLength() const override { return 4; }
  bool Claims(std::span<const char> first_bytes) const override;
  void Serve(int fd, const std::atomic<bool>& stop) override;

  bool InUpgradeMode() const;
  // Forgets the upgrade mode (the camera restarted).
  void Reset();
  // Files of the last transfer, in the order they arrived.
  std::vector<TCtpReceivedFile> LastTransfer() const;
  int transfers() const { return transfers_.load(); }
  const TCtpCameraSettings& settings() const { return settings_; }

 private:
  struct Connection;
  struct Request;
  struct FaultRule;
  struct VerbRow;
  enum class After { Next, Unrecorded, End };  // what the connection does after a request
  static const VerbRow kVerbs[];               // verb -> handler
  static const FaultRule kFaultRules[];        // the rules of ctp_faults.h

  // One handler per verb; each fills the request's record entry and says what comes next.
  After OnExit(Request& r, Connection& c);
  After OnLogin(Request& r, Connection& c);
  After OnOtherConfig(Request& r, Connection& c);
  After OnCommand(Request& r, Connection& c);
  After OnFile(Request& r, Connection& c);
  After OnData(Request& r, Connection& c);
  After OnDigest(Request& r, Connection& c);
  After OnMalformed(Request& r, Connection& c);
  // The fault hook: the rule of a switched-on fault that takes over at this point, if any (a
  // handler asks once its request is well formed, before the request takes effect).
  const FaultRule* FaultAt(TCtpFaultPoint point, const Connection& c) const;
  // True when a switched-on fault changes every answer in this way.
  bool EveryAnswer(TCtpFaultAction action) const;
  After ApplyFault(const FaultRule& rule, Request& r, Connection& c);
  // The ways an answer goes out (the EveryAnswer rules act here); each returns the answer as
  // recorded.
  std::string Answer(Connection& c, const std::string& status_line) const;
  std::string Reply(Connection& c, const std::string& text, bool may_continue) const;
  void Record(const Connection& c, nlohmann::json entry) const;
  // A config request's header lines and body (Content-Length bytes) into the request.
  void ReadHeadersAndBody(Request& r, Connection& c);
  void EndConnection(Connection& c);

  TCtpCameraSettings settings_;
  std::shared_ptr<TSimRecorder> recorder_;
  UpgradedFn on_upgraded_;
  mutable std::mutex mutex_;
  bool upgrade_mode_ = false;
  std::vector<TCtpReceivedFile> last_transfer_;
  std::atomic<int> transfers_{0};
};

// A bare TCP listener on loopback that hands every connection to a protocol (the CTP camera
// without the rest of the simulated camera: unit tests and benchmarks). Connections that the
// protocol does not claim within the sniff window are closed.
class TCtpStandaloneServer {
 public:
  // port 0: any free port. Throws std::runtime_error when it cannot listen.
  TCtpStandaloneServer(std::shared_ptr<IPortProtocol> protocol, const std::string& ip = "127.0.0.1",
                       int port = 0);
  ~TCtpStandaloneServer();
  int port() const { return port_; }
  // Stops listening and ends every connection.
  void Stop();
  // Closes the port for ms milliseconds (for good when negative), like a restarting camera.
  // May be called from any thread, a connection's own included.
  void GoAway(int ms) { away_ms_ = ms < 0 ? -1 : ms; }

 private:
  static constexpr int kHere = -2;
  void Listen();
  void Run();
  std::shared_ptr<IPortProtocol> protocol_;
  std::string ip_;
  int port_;
  TSocketHandle listener_;
  std::atomic<bool> stop_{false};
  std::atomic<int> away_ms_{kHere};
  std::thread thread_;
  std::mutex workers_mutex_;
  std::vector<std::thread> workers_;
};

}  // namespace camlift::sim
