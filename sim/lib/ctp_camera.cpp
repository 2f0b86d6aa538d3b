// SPDX-License-Identifier: Apache-2.0
#include "ctp_camera.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <utility>

#include "sim_timing.h"
#include "util/md5.h"

namespace camlift::sim {
namespace {

constexpr std::size_t kMaxLine = 512;
constexpr std::size_t kMaxBody = 64 * 1024;
constexpr std::int64_t kMaxBlock = 1400;
constexpr std::size_t kHeadBytes = 4096;
constexpr int kPollSliceMs = 50;
// "REPLY Continue" and a digit at offset 15 that is not "0": the camera is still busy.
constexpr std::string_view kContinue = "REPLY Continue 1\r\n";
// What a client of the cameras reads in one receive (its 200-byte buffer, less its terminator).
constexpr std::size_t kClientReadBytes = 199;

std::optional<std::int64_t> Number(std::string_view text) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < 0) return std::nullopt;
  return value;
}

std::string SafeName(const std::string& name) {
  std::string out;
  for (char c : name) {
    out +=
        (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_') ? c : '_';
  }
  if (out.empty() || out.find_first_not_of('.') == std::string::npos) out = "file";
  return out;
}

std::string PeerText(int fd) {
  sockaddr_in peer{};
  socklen_t size = sizeof peer;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0) return {};
  return AddressText(peer.sin_addr.s_addr) + ":" + std::to_string(ntohs(peer.sin_port));
}

// Numbers the requests of every camera of the process in the order they were read.
std::atomic<std::uint64_t> next_request{0};

}  // namespace

// One CTP connection: a buffered reader with stop checks, and what this connection has done.
struct TCtpCamera::Connection {
  int fd;
  const std::atomic<bool>& stop;
  std::string peer;
  std::array<char, 8192> buffer{};
  std::size_t begin = 0;
  std::size_t end = 0;

  bool logged_in = false;
  bool upgrade_traffic = false;  // the probe was answered: this is the transfer connection
  bool broken = false;           // something of the transfer was refused
  int data_blocks = 0;
  std::int64_t accepted_blocks = 0;  // of the file being received
  std::vector<TCtpReceivedFile> files;
  // The file being received.
  std::optional<TCtpReceivedFile> file;
  std::int64_t expected = 0;
  TMd5 md5;
  std::ofstream keep;

  Connection(int f, const std::atomic<bool>& s) : fd(f), stop(s), peer(PeerText(f)) {}

  // Gives up the file being received (the transfer is broken); returns why, for the record.
  std::string FailFile(const std::string& why) {
    broken = true;
    file.reset();
    keep.close();
    return why;
  }

  // False when the peer closed, the socket failed, or the server stops.
  bool Fill() {
    if (begin == end) begin = end = 0;
    if (end == buffer.size()) {
      std::memmove(buffer.data(), buffer.data() + begin, end - begin);
      end -= begin;
      begin = 0;
    }
    // One blocking receive per request: the socket's receive time-out (set in Serve) wakes us
    // every slice to look at the stop flag, without a poll before every read.
    while (!stop.load()) {
      const ssize_t n = ::recv(fd, buffer.data() + end, buffer.size() - end, 0);
      if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
      if (n <= 0) return false;
      end += static_cast<std::size_t>(n);
      return true;
    }
    return false;
  }

  bool ReadLine(std::string& line) {
    for (;;) {
      const std::string_view held(buffer.data() + begin, end - begin);
      const std::size_t crlf = held.find("\r\n");
      if (crlf != std::string_view::npos) {
        line.assign(held.substr(0, crlf));
        begin += crlf + 2;
        return true;
      }
      if (held.size() > kMaxLine || !Fill()) return false;
    }
  }

  bool ReadExact(std::string& out, std::size_t n) {
    out.clear();
    while (out.size() < n) {
      if (begin == end && !Fill()) return false;
      const std::size_t take = std::min(n - out.size(), end - begin);
      out.append(buffer.data() + begin, take);
      begin += take;
    }
    return true;
  }

  // As Write, but gives up when the server stops, also while the peer reads nothing.
  bool WriteUnlessStopped(std::string_view bytes) {
    while (!bytes.empty() && !stop.load()) {
      pollfd p{fd, POLLOUT, 0};
      const int ready = ::poll(&p, 1, kPollSliceMs);
      if (ready < 0 && errno != EINTR) return false;
      if (ready <= 0) continue;
      if (p.revents & (POLLERR | POLLHUP)) return false;
      const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return bytes.empty();
  }

  bool Write(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }
};

TCtpCamera::TCtpCamera(TCtpCameraSettings settings, std::shared_ptr<TSimRecorder> recorder,
                       UpgradedFn on_upgraded)
    : settings_(std::move(settings)),
      recorder_(recorder ? std::move(recorder) : std::make_shared<TSimRecorder>()),
      on_upgraded_(std::move(on_upgraded)) {}

bool TCtpCamera::InUpgradeMode() const {
  std::lock_guard lock(mutex_);
  return upgrade_mode_;
}

void TCtpCamera::Reset() {
  std::lock_guard lock(mutex_);
  upgrade_mode_ = false;
}

std::vector<TCtpReceivedFile> TCtpCamera::LastTransfer() const {
  std::lock_guard lock(mutex_);
  return last_transfer_;
}

std::vector<std::string> CtpRequestLines(std::span<const nlohmann::json> entries) {
  std::vector<std::pair<std::uint64_t, std::string>> requests;
  for (const nlohmann::json& entry : entries) {
    if (entry.value("protocol", "") != "CTP" || !entry.contains("request")) continue;
    requests.emplace_back(entry.value("seq", std::uint64_t{0}), entry["request"]);
  }
  std::stable_sort(requests.begin(), requests.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> lines;
  for (auto& request : requests) lines.push_back(std::move(request.second));
  return lines;
}

void TCtpCamera::Record(const Connection& c, nlohmann::json entry) const {
  nlohmann::json line{{"role", "camera"},       {"name", settings_.name},
                      {"series", "K"},          {"address", settings_.address},
                      {"port", settings_.port}, {"peer", c.peer},
                      {"protocol", "CTP"}};
  for (auto& [key, value] : entry.items()) line[key] = value;
  recorder_->Append(std::move(line));
}

// One request: its line, the bytes that came with it, and its record entry.
struct TCtpCamera::Request {
  std::string line;
  std::string verb;
  std::string rest;
  std::string command;      // "CMD <command> CTP/1.0": the command
  std::int64_t length = 0;  // a request with a length: that length
  std::string body;
  bool framing_ok = true;  // a config request: its header lines and body were read whole
  nlohmann::json entry = nlohmann::json::object();
};

// How a request is framed after its line.
enum class TCtpForm {
  Bare,         // "CMD <command> CTP/1.0" alone
  WithHeaders,  // "CMD <command> CTP/1.0", header lines, an empty line, Content-Length bytes
  Length,       // "<verb> <L>" and L bytes
};

struct TCtpCamera::VerbRow {
  std::string_view verb;
  TCtpForm form;
  std::string_view command;  // config requests: the command (empty: any other)
  After (TCtpCamera::*handle)(Request&, Connection&);
};

struct TCtpCamera::FaultRule {
  TCameraFault fault;
  TCtpFaultPoint point;
  int data_block;  // TCtpFaultPoint::Data: the data block of the connection it acts on
  TCtpFaultAction action;
  const char* answer;
};

// The rules of the faults the service declares, then those of camera faults it acts out too.
const TCtpCamera::FaultRule TCtpCamera::kFaultRules[] = {
#define CAMLIFT_SIM_CTP_RULE(fault, point, block, action, answer) \
  {TCameraFault::fault, TCtpFaultPoint::point, block, TCtpFaultAction::action, answer},
#define CAMLIFT_SIM_CTP_OWN_RULE(fault, name, what, ...) CAMLIFT_SIM_CTP_RULE(fault, __VA_ARGS__)
    // clang-format off
    CAMLIFT_SIM_CTP_FAULTS(CAMLIFT_SIM_CTP_OWN_RULE)
    CAMLIFT_SIM_CTP_SHARED_FAULTS(CAMLIFT_SIM_CTP_RULE)
// clang-format on
#undef CAMLIFT_SIM_CTP_OWN_RULE
#undef CAMLIFT_SIM_CTP_RULE
};

const TCtpCamera::VerbRow TCtpCamera::kVerbs[] = {
    {"CMD", TCtpForm::Bare, "exit", &TCtpCamera::OnExit},
    {"CMD", TCtpForm::WithHeaders, "cfgusr", &TCtpCamera::OnLogin},
    {"CMD", TCtpForm::WithHeaders, "", &TCtpCamera::OnOtherConfig},
    {"CMD", TCtpForm::Length, "", &TCtpCamera::OnCommand},
    {"FILE", TCtpForm::Length, "", &TCtpCamera::OnFile},
    {"DATA", TCtpForm::Length, "", &TCtpCamera::OnData},
    {"MD5", TCtpForm::Length, "", &TCtpCamera::OnDigest},
};

bool TCtpCamera::Claims(std::span<const char> first_bytes) const {
  const std::string_view head(first_bytes.data(), first_bytes.size());
  if (head.size() < 4) return false;
  for (const VerbRow& row : kVerbs) {
    // The verb and the blank after it, as far as the first four bytes go.
    const std::string start = (std::string(row.verb) + " ").substr(0, 4);
    if (head.starts_with(start)) return true;
  }
  return false;
}

std::string TCtpCamera::Answer(Connection& c, const std::string& status_line) const {
  if (EveryAnswer(TCtpFaultAction::Silent)) return "(none: ctp-silent)";
  c.Write(status_line + "\r\n\r\n");
  return status_line;
}

std::string TCtpCamera::Reply(Connection& c, const std::string& text, bool may_continue) const {
  if (EveryAnswer(TCtpFaultAction::Silent)) return "(none: ctp-silent)";
  if (may_continue && EveryAnswer(TCtpFaultAction::ContinueFlood)) {
    // Each reply fills one whole read of the client, and they go out many at a time, so that
    // the client's receive queue stays full and no receive ever has to wait.
    std::string one(kContinue.substr(0, kContinue.size() - 2));
    one.resize(kClientReadBytes - 2, ' ');
    one += "\r\n";
    constexpr std::size_t kRepliesPerWrite = 64;
    std::string flood;
    for (std::size_t i = 0; i < kRepliesPerWrite; ++i) flood += one;
    // A deep send queue: the client never drains it between two writes.
    const int deep = 8 << 20;
    ::setsockopt(c.fd, SOL_SOCKET, SO_SNDBUF, &deep, sizeof deep);
    std::size_t sent = 0;
    while (c.WriteUnlessStopped(flood)) sent += kRepliesPerWrite;
    return "(endless REPLY Continue: ctp-continue-flood, " + std::to_string(sent) + " sent)";
  }
  if (EveryAnswer(TCtpFaultAction::Slow)) {
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::milliseconds(Millis(SimWait::CtpSlowAnswer));
    while (!c.stop.load() && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  if (may_continue && EveryAnswer(TCtpFaultAction::ContinueFirst)) {
    c.Write(kContinue);
    std::this_thread::sleep_for(std::chrono::milliseconds(Millis(SimWait::CtpContinuePause)));
  }
  c.Write("REPLY " + text + "\r\n");
  return "REPLY " + text;
}

const TCtpCamera::FaultRule* TCtpCamera::FaultAt(TCtpFaultPoint point, const Connection& c) const {
  for (const FaultRule& rule : kFaultRules) {
    if (rule.point != point || !settings_.has(rule.fault)) continue;
    if (rule.data_block == kCtpAnyBlock || rule.data_block == c.data_blocks) return &rule;
  }
  return nullptr;
}

bool TCtpCamera::EveryAnswer(TCtpFaultAction action) const {
  for (const FaultRule& rule : kFaultRules) {
    if (rule.point == TCtpFaultPoint::EveryAnswer && rule.action == action &&
        settings_.has(rule.fault)) {
      return true;
    }
  }
  return false;
}

TCtpCamera::After TCtpCamera::ApplyFault(const FaultRule& rule, Request& r, Connection& c) {
  const std::string note = "fault " + CameraFaultName(rule.fault);
  switch (rule.action) {
    case TCtpFaultAction::StatusLine:
      r.entry["reply"] = Answer(c, rule.answer);
      r.entry["note"] = note;
      return After::Next;
    case TCtpFaultAction::Refuse:
      r.entry["note"] = c.FailFile(note);
      r.entry["reply"] = Reply(c, rule.answer, false);
      return After::Next;
    case TCtpFaultAction::Ignore:
      r.entry["note"] = note;
      return After::Next;
    case TCtpFaultAction::Close:
      r.entry["note"] = note + ": connection closed";
      return After::End;
    case TCtpFaultAction::Silent:
    case TCtpFaultAction::ContinueFirst:
    case TCtpFaultAction::Slow:
    case TCtpFaultAction::ContinueFlood:
      break;  // actions on every answer, never at a request (Answer, Reply)
  }
  return After::Next;
}

TCtpCamera::After TCtpCamera::OnExit(Request& r, Connection& c) {
  if (!c.logged_in) {
    r.entry["reply"] = Answer(c, "CTP/1.0 401 Unauthorized");
    r.entry["note"] = "leave-mode request without a login";
    return After::Next;
  }
  if (const FaultRule* fault = FaultAt(TCtpFaultPoint::Exit, c)) return ApplyFault(*fault, r, c);
  {
    std::lock_guard lock(mutex_);
    upgrade_mode_ = true;
  }
  r.entry["reply"] = Answer(c, "CTP/1.0 200 OK");
  return After::Next;
}

TCtpCamera::After TCtpCamera::OnLogin(Request& r, Connection& c) {
  const std::string& body = r.body;
  if (!r.framing_ok || !body.starts_with("-login ") || !body.ends_with("\r\n\r\n")) {
    r.entry["reply"] = Answer(c, "CTP/1.0 400 Bad Request");
    r.entry["note"] = "login body or Content-Length malformed";
    return After::Next;
  }
  if (const FaultRule* fault = FaultAt(TCtpFaultPoint::Login, c)) return ApplyFault(*fault, r, c);
  if (body != "-login " + settings_.user + ":" + settings_.password + "\r\n\r\n") {
    r.entry["reply"] = Answer(c, "CTP/1.0 401 Unauthorized");
    r.entry["note"] = "wrong account";
    return After::Next;
  }
  c.logged_in = true;
  r.entry["reply"] = Answer(c, "CTP/1.0 200 OK");
  return After::Next;
}

TCtpCamera::After TCtpCamera::OnOtherConfig(Request& r, Connection& c) {
  r.entry["reply"] = Answer(c, "CTP/1.0 404 Not Found");
  r.entry["note"] = "unknown config command";
  return After::Next;
}

TCtpCamera::After TCtpCamera::OnCommand(Request& r, Connection& c) {
  r.entry["body"] = Printable(r.body);
  if (r.body == "echo hello") {  // the probe
    if (const FaultRule* fault = FaultAt(TCtpFaultPoint::Probe, c)) return ApplyFault(*fault, r, c);
    if (!InUpgradeMode()) {
      r.entry["reply"] = Reply(c, "ERR not in upgrade mode", false);
      return After::Next;
    }
    c.upgrade_traffic = true;
  } else if (!c.upgrade_traffic) {
    r.entry["reply"] = Reply(c, "ERR not in upgrade mode", false);
    return After::Next;
  }
  r.entry["reply"] = Reply(c, "OK", true);
  return After::Next;
}

TCtpCamera::After TCtpCamera::OnFile(Request& r, Connection& c) {
  const std::string& body = r.body;
  const std::size_t last_blank = body.rfind(' ');
  std::optional<std::int64_t> size;
  if (last_blank != std::string::npos) size = Number(std::string_view(body).substr(last_blank + 1));
  if (!c.upgrade_traffic) {
    r.entry["reply"] = Reply(c, "ERR not in upgrade mode", false);
  } else if (c.file) {
    r.entry["note"] = c.FailFile("a file was announced before the last one was complete");
    r.entry["reply"] = Reply(c, "ERR previous file incomplete", false);
  } else if (!size || last_blank == 0) {
    r.entry["note"] = c.FailFile("malformed file announcement");
    r.entry["reply"] = Reply(c, "ERR bad announcement", false);
  } else {
    TCtpReceivedFile file;
    file.name = body.substr(0, last_blank);
    c.expected = *size;
    r.entry["file"] = file.name;
    r.entry["file_size"] = *size;
    if (!settings_.upload_dir.empty()) {
      std::filesystem::create_directories(settings_.upload_dir);
      c.keep.open(settings_.upload_dir + "/" + SafeName(file.name), std::ios::binary);
    }
    c.file = std::move(file);
    r.entry["reply"] = Reply(c, "OK", true);
  }
  return After::Next;
}

TCtpCamera::After TCtpCamera::OnData(Request& r, Connection& c) {
  ++c.data_blocks;
  if (!c.file) {
    r.entry["note"] = "data without an announced file";
    r.entry["reply"] = Reply(c, "ERR no file", false);
    return After::Next;
  }
  if (r.length < 1 || r.length > kMaxBlock ||
      static_cast<std::int64_t>(c.file->size) + r.length > c.expected) {
    r.entry["note"] = c.FailFile("data block of a wrong size");
    r.entry["reply"] = Reply(c, "ERR bad block size", false);
    return After::Next;
  }
  if (const FaultRule* fault = FaultAt(TCtpFaultPoint::Data, c)) return ApplyFault(*fault, r, c);
  // The answer goes out first: digest, copy and record are done while the client reads its next
  // block, as a camera that buffers the block would.
  const std::string answer = Reply(c, "OK", c.data_blocks == 1);
  c.md5.Update(r.body.data(), r.body.size());
  if (c.file->head.size() < kHeadBytes) {
    c.file->head.append(r.body, 0, kHeadBytes - c.file->head.size());
  }
  if (c.keep.is_open()) c.keep.write(r.body.data(), static_cast<std::streamsize>(r.body.size()));
  c.file->size += r.body.size();
  ++c.accepted_blocks;
  if (!settings_.record_data_blocks) return After::Unrecorded;
  r.entry["reply"] = answer;
  return After::Next;
}

TCtpCamera::After TCtpCamera::OnDigest(Request& r, Connection& c) {
  if (!c.file || r.length != 16) {
    r.entry["note"] = c.file ? c.FailFile("digest of a wrong length") : "digest without a file";
    r.entry["reply"] = Reply(c, "ERR bad digest request", false);
    return After::Next;
  }
  const auto digest = c.md5.Final();
  const bool whole = static_cast<std::int64_t>(c.file->size) == c.expected;
  const bool match = std::memcmp(digest.data(), r.body.data(), 16) == 0;
  c.file->md5 = HexLower(digest);
  r.entry["file"] = c.file->name;
  r.entry["md5"] = c.file->md5;
  if (!settings_.record_data_blocks) r.entry["data_blocks"] = c.accepted_blocks;
  c.accepted_blocks = 0;
  if (!whole || !match) {
    r.entry["note"] = c.FailFile(whole ? "digest does not match the data"
                                       : "digest before the whole file arrived");
    r.entry["reply"] = Reply(c, "ERR md5 mismatch", false);
    return After::Next;
  }
  c.file->complete = true;
  c.keep.close();
  c.files.push_back(std::move(*c.file));
  c.file.reset();
  r.entry["reply"] = Reply(c, "OK", true);
  return After::Next;
}

TCtpCamera::After TCtpCamera::OnMalformed(Request& r, Connection& c) {
  r.entry["note"] = "malformed request line";
  r.entry["reply"] = Reply(c, "ERR bad request", false);
  return After::End;  // the stream cannot be followed any further
}

void TCtpCamera::Serve(int fd, const std::atomic<bool>& stop) {
  int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  const timeval slice{0, kPollSliceMs * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice);
  Connection c(fd, stop);

  Request r;  // one for the whole connection, so that its buffers are reused
  After after = After::Next;
  while (after != After::End && c.ReadLine(r.line)) {
    r.entry = nlohmann::json::object();
    r.entry["seq"] = next_request++;
    r.length = 0;
    r.framing_ok = true;
    const std::size_t blank = r.line.find(' ');
    r.verb = r.line.substr(0, blank);
    r.rest = blank == std::string::npos ? std::string() : r.line.substr(blank + 1);
    const bool config = r.verb == "CMD" && r.rest.ends_with(" CTP/1.0");
    r.command = config ? r.rest.substr(0, r.rest.size() - 8) : std::string();

    const VerbRow* row = nullptr;
    for (const VerbRow& candidate : kVerbs) {
      if (candidate.verb != r.verb || (candidate.form != TCtpForm::Length) != config) continue;
      if (!candidate.command.empty() && candidate.command != r.command) continue;
      row = &candidate;
      break;
    }
    if (row && row->form == TCtpForm::WithHeaders) {
      ReadHeadersAndBody(r, c);
    } else if (row && row->form == TCtpForm::Length) {
      const auto length = Number(r.rest);
      if (!length || *length > static_cast<std::int64_t>(kMaxBody)) {
        row = nullptr;
      } else {
        r.length = *length;
        r.entry["size"] = r.length;
        if (!c.ReadExact(r.body, static_cast<std::size_t>(r.length))) {
          r.entry["note"] = "connection ended inside the request";
          after = After::End;
        }
      }
    }
    if (after != After::End) after = row ? (this->*row->handle)(r, c) : OnMalformed(r, c);
    // A config request whose framing could not be followed ends the connection after its answer.
    if (!r.framing_ok) after = After::End;
    // Accepted data blocks that are not recorded cost no record-keeping at all.
    if (after == After::Unrecorded) continue;
    r.entry["request"] = Printable(r.line);
    Record(c, std::move(r.entry));
  }
  EndConnection(c);
}

void TCtpCamera::ReadHeadersAndBody(Request& r, Connection& c) {
  nlohmann::json headers = nlohmann::json::array();
  std::optional<std::int64_t> content_length;
  std::string header;
  while (c.ReadLine(header) && !header.empty()) {
    const std::size_t colon = header.find(':');
    const std::string name = header.substr(0, colon);
    const std::string value = colon == std::string::npos ? "" : header.substr(colon + 1);
    headers.push_back({name, value});
    if (name == "Content-Length") content_length = Number(value);
    if (headers.size() > 32) break;
  }
  r.entry["headers"] = headers;
  r.framing_ok = content_length && *content_length <= static_cast<std::int64_t>(kMaxBody) &&
                 c.ReadExact(r.body, static_cast<std::size_t>(*content_length));
  if (!r.framing_ok) r.body.clear();
  r.entry["body"] = Printable(r.body);
}

void TCtpCamera::EndConnection(Connection& c) {
  if (!c.upgrade_traffic) return;
  const bool transferred = !c.broken && !c.file && !c.files.empty();
  {
    std::lock_guard lock(mutex_);
    upgrade_mode_ = false;
    if (transferred) last_transfer_ = c.files;
  }
  Record(c, {{"event", transferred ? "transfer complete" : "transfer incomplete"},
             {"files", c.files.size()}});
  if (transferred) {
    ++transfers_;
    if (on_upgraded_) on_upgraded_(c.files);
  }
}

// ---------------------------------------------------------------------------------------------

TCtpStandaloneServer::TCtpStandaloneServer(std::shared_ptr<IPortProtocol> protocol,
                                           const std::string& ip, int port)
    : protocol_(std::move(protocol)), ip_(ip), port_(port) {
  Listen();
  thread_ = std::thread([this] { Run(); });
}

TCtpStandaloneServer::~TCtpStandaloneServer() { Stop(); }

void TCtpStandaloneServer::Listen() {
  TSocketHandle s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  int on = 1;
  ::setsockopt(s.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<std::uint16_t>(port_));
  ::inet_pton(AF_INET, ip_.c_str(), &local.sin_addr);
  if (!s.valid() || ::bind(s.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      ::listen(s.get(), 16) != 0) {
    throw std::runtime_error("cannot listen on " + ip_ + ":" + std::to_string(port_) + ": " +
                             std::strerror(errno));
  }
  if (port_ == 0) {  // only the first time: afterwards other threads read it
    socklen_t size = sizeof local;
    ::getsockname(s.get(), reinterpret_cast<sockaddr*>(&local), &size);
    port_ = ntohs(local.sin_port);
  }
  listener_ = std::move(s);
}

void TCtpStandaloneServer::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  listener_.reset();
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(workers_mutex_);
    workers.swap(workers_);
  }
  for (auto& w : workers) w.join();
}

void TCtpStandaloneServer::Run() {
  while (!stop_.load()) {
    const int away = away_ms_.exchange(kHere);
    if (away != kHere) {
      listener_.reset();
      const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(away);
      while (!stop_.load() && (away < 0 || std::chrono::steady_clock::now() < until)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      if (stop_.load()) return;
      try {
        Listen();
      } catch (const std::exception&) {
        return;  // the port was taken meanwhile: stay away
      }
      continue;
    }
    if (!WaitReadable(listener_.get(), 10)) continue;
    const int fd = ::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(workers_mutex_);
    workers_.emplace_back([this, fd] {
      TSocketHandle connection(fd);
      const auto deadline = std::chrono::steady_clock::now() +
                            std::chrono::milliseconds(Millis(SimWait::SniffWindow));
      std::array<char, 64> first{};
      ssize_t have = 0;
      while (!stop_.load() && std::chrono::steady_clock::now() < deadline) {
        if (!WaitReadable(fd, kPollSliceMs)) continue;
        have = ::recv(fd, first.data(), protocol_->SniffLength(), MSG_PEEK | MSG_DONTWAIT);
        if (have <= 0 || static_cast<std::size_t>(have) >= protocol_->SniffLength()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      if (have > 0 && protocol_->Claims(std::span(first.data(), static_cast<std::size_t>(have)))) {
        protocol_->Serve(fd, stop_);
      }
    });
  }
}

}  // namespace camlift::sim
