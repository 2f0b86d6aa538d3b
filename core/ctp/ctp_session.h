// SPDX-License-Identifier: Apache-2.0
// One CTP command connection to a series K camera. The name is historical: a session is a plain
// object that owns one non-blocking TCP socket, not a thread. It writes each request into one
// fixed send buffer and reads each answer into one fixed receive buffer, so that a transfer of
// any size allocates nothing per data block.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ctp/ctp_search.h"
#include "ctp/pk2_format.h"
#include "platform/run_control.h"
#include "platform/socket.h"
#include "util/md5.h"

namespace camlift {

// No socket could be created for a session; what() is the message for the user.
class TCtpSocketError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Code of one exchange with the camera: ReadReply, SendCommand, ReadConfigReply,
// SendConfigCommand and the requests built on them. The values are those of the session's
// interface.
enum class TCtpCode : int {
  Ok = 0,
  OtherReply = 1,  // any reply but OK; also a config answer without 200
  SocketError = -1,
  Timeout = -2,
  NotReply = -3,   // the answer does not begin with "REPLY "
  Closed = -4,     // the camera closed the connection
  ShortSend = -5,  // the socket took fewer bytes than the request has
};

// Code of Connect.
enum class TCtpConnect : int {
  Ok = 0,          // connected, or still connecting after the connect pause
  BadAddress = 4,  // the IP text is not dotted IPv4
  Failed = 5,      // the attempt failed, at once or during the pause
};

// Code of Close: a socket the system would not close is not a short send, though both read -5.
enum class TCtpClose : int { Ok = 0, Failed = -5 };

// What became of the next entry of a package.
enum class TEntryOutcome {
  Accepted,      // the camera took it, or a type this program does not know was stepped over
  Failed,        // code says which step failed
  EndOfPackage,  // no entry left: the package file is closed
};

struct TEntryResult {
  TEntryOutcome outcome = TEntryOutcome::Failed;
  TCtpCode code = TCtpCode::OtherReply;  // Ok unless outcome is Failed
};

// A package file being sent: the read position moves through the entries.
class TPk2File {
 public:
  bool Open(const std::string& path);
  bool IsOpen() const { return file_ != nullptr; }
  // Bytes actually read (fewer at the end of the file or on an error).
  std::size_t Read(void* data, std::size_t size);
  bool Skip(std::int64_t count);
  std::int64_t Position() const { return position_; }
  std::int64_t Size() const { return size_; }
  void Close() { file_.reset(); }

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
  std::int64_t position_ = 0;
  std::int64_t size_ = 0;
};

class TSocketThread {
 public:
  // Creates the socket (non-blocking, no-delay). Throws TCtpSocketError with the text of
  // IDS_CRTSOCKETERR when the system gives none. control: where waits are cut short by a stop
  // request and where upload progress goes.
  TSocketThread(std::string ip, int port, const TRunControl& control = TRunControl::None());
  ~TSocketThread();
  TSocketThread(const TSocketThread&) = delete;
  TSocketThread& operator=(const TSocketThread&) = delete;

  // Whether a connection still in progress comes up shows at the first exchange, or through
  // IsConnected.
  TCtpConnect Connect();
  // True when the connection is established now (not merely in progress).
  bool IsConnected() const;
  // Closing a session without a socket is Ok.
  TCtpClose Close();

  // One reply: Ok, OtherReply, SocketError, Timeout, NotReply or Closed. "REPLY Continue"
  // answers are waited through, for at most the Continue limit.
  TCtpCode ReadReply(std::string& text, int& length);
  // Sends the request in the send buffer and reads its reply; ShortSend when it did not go out
  // whole.
  TCtpCode SendCommand(std::string& text);
  // One receive of a config answer: Ok with its text, Timeout, Closed or SocketError.
  TCtpCode ReadConfigReply(std::string& text, int& length);
  // Ok when the request went out whole and its answer contains "200", OtherReply when not,
  // ShortSend.
  TCtpCode SendConfigCommand();

  TCtpCode Login(const std::string& user, const std::string& password);
  TCtpCode ExitMode();
  // The probe that tells whether the camera has entered its upgrade mode; code of SendCommand.
  TCtpCode Probe();

  static bool CheckPackage(const std::string& file_name);
  // Sends the next entry of package. At the end of the file the package is closed.
  TEntryResult SendEntry(TPk2File& package);

  // Broadcasts the CTP search, sends it to this session's address too, and reads the text
  // replies until the one whose IP text is this session's address arrived, the replies stop, or
  // the CtpSearchLimit bound passed. Only that reply is kept, and only when it came from this
  // session's address (any host may send one naming it; the others cannot be the answer);
  // returns how many were added (0 or 1). problems (when given) gets the datagrams the system
  // refused to send.
  int SearchCtpDevices(TCtpSearchList& list, std::vector<TSendProblem>* problems = nullptr);

  // From now on, the transfer of entries ends at this point in time, however promptly the
  // camera answers each request (SendEntry fails with Timeout).
  void SetTransferDeadline(std::chrono::steady_clock::time_point deadline) {
    transfer_deadline_ = deadline;
  }

  const std::string& ip() const { return ip_; }
  // The request last written into the send buffer (tests look at the exact bytes).
  std::string_view LastRequest() const { return {send_buffer_.data(), send_length_}; }

 private:
  void BeginRequest();
  bool Append(std::string_view bytes);
  bool AppendNumber(std::int64_t value);
  bool SendRequest();
  TCtpCode SendFileEntry(TPk2File& package);
  TCtpCode SendCommandEntry(TPk2File& package, std::int32_t length);
  // read_ahead: bytes already read for the next block, not yet sent.
  void ReportProgress(const TPk2File& package, std::int64_t read_ahead = 0) const;
  static std::size_t BlockSize(std::int64_t data_length, std::int64_t sent);
  // Reads and unscrambles the next block into next_block_; the bytes read.
  std::size_t PrepareBlock(TPk2File& package, std::size_t size);

  std::string ip_;
  int port_;
  const TRunControl& control_;
  TSocketHandle socket_;
  std::array<char, CtpLimits::kSendBuffer> send_buffer_{};
  std::array<char, CtpLimits::kReceiveBuffer> receive_buffer_{};
  std::array<char, CtpLimits::kBlockSize> next_block_{};  // the data block after the one in flight
  std::size_t send_length_ = 0;
  std::string reply_text_;  // reused for every reply of a transfer
  TMd5 digest_;
  std::chrono::steady_clock::time_point transfer_deadline_ =
      std::chrono::steady_clock::time_point::max();
};

}  // namespace camlift
