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

#include "sim_timing.h"
#include "util/md5.h"

namespace camlift::sim {
namespace {

struct FaultRow {
  TCtpFault fault;
  const char* name;
};
constexpr FaultRow kFaults[] = {
    {TCtpFault::LoginRefused, "ctp-login-refused"},
    {TCtpFault::ExitRefused, "ctp-exit-refused"},
    {TCtpFault::ProbeUnanswered, "ctp-probe-unanswered"},
    {TCtpFault::DataRefused, "ctp-data-refused"},
    {TCtpFault::Silent, "ctp-silent"},
    {TCtpFault::CloseMidTransfer, "ctp-close-mid-transfer"},
    {TCtpFault::ContinueThenOk, "ctp-continue"},
};

constexpr std::size_t kMaxLine = 512;
constexpr std::size_t kMaxBody = 64 * 1024;
constexpr std::int64_t kMaxBlock = 1400;
constexpr std::size_t kHeadBytes = 4096;
constexpr int kPollSliceMs = 50;
// "REPLY Continue" and a digit at offset 15 that is not "0": the camera is still busy.
constexpr std::string_view kContinue = "REPLY Continue 1\r\n";

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

}  // namespace

std::optional<TCtpFault> ParseCtpFault(const std::string& name) {
  for (const FaultRow& row : kFaults) {
    if (name == row.name) return row.fault;
  }
  return std::nullopt;
}

std::string CtpFaultName(TCtpFault fault) {
  for (const FaultRow& row : kFaults) {
    if (row.fault == fault) return row.name;
  }
  return {};
}

std::vector<std::string> CtpFaultNames() {
  std::vector<std::string> names;
  for (const FaultRow& row : kFaults) names.emplace_back(row.name);
  return names;
}

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

bool TCtpCamera::Claims(std::span<const char> first_bytes) const {
  const std::string_view head(first_bytes.data(), first_bytes.size());
  for (std::string_view verb : {"CMD ", "FILE", "DATA", "MD5 "}) {
    if (head.size() >= 4 && head.starts_with(verb)) return true;
  }
  return false;
}

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

void TCtpCamera::Record(const Connection& c, nlohmann::json entry) const {
  nlohmann::json line{{"role", "camera"},       {"name", settings_.name},
                      {"series", "K"},          {"address", settings_.address},
                      {"port", settings_.port}, {"peer", c.peer},
                      {"protocol", "CTP"}};
  for (auto& [key, value] : entry.items()) line[key] = value;
  recorder_->Append(std::move(line));
}

void TCtpCamera::Serve(int fd, const std::atomic<bool>& stop) {
  int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  const timeval slice{0, kPollSliceMs * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice);
  Connection c(fd, stop);
  const bool silent = settings_.has(TCtpFault::Silent);

  // The answer to a REPLY-style request, possibly after "Continue" answers.
  auto reply = [&](const std::string& text, bool may_continue) {
    if (silent) return std::string("(none: ctp-silent)");
    if (may_continue && settings_.has(TCtpFault::ContinueThenOk)) {
      c.Write(kContinue);
      std::this_thread::sleep_for(std::chrono::milliseconds(Millis(SimWait::CtpContinuePause)));
    }
    c.Write("REPLY " + text + "\r\n");
    return "REPLY " + text;
  };
  auto config_answer = [&](const std::string& status_line) {
    if (silent) return std::string("(none: ctp-silent)");
    c.Write(status_line + "\r\n\r\n");
    return status_line;
  };
  auto fail_file = [&](const std::string& why) {
    c.broken = true;
    c.file.reset();
    c.keep.close();
    return why;
  };

  std::string line;
  std::string body;
  bool closed_on_purpose = false;
  while (!closed_on_purpose && c.ReadLine(line)) {
    // Accepted data blocks that are not recorded should cost no record-keeping at all.
    const bool quiet_data = !settings_.record_data_blocks && line.starts_with("DATA ");
    nlohmann::json entry =
        quiet_data ? nlohmann::json::object() : nlohmann::json{{"request", Printable(line)}};
    const std::size_t blank = line.find(' ');
    const std::string verb = line.substr(0, blank);
    const std::string rest = blank == std::string::npos ? std::string() : line.substr(blank + 1);

    if (verb == "CMD" && rest.ends_with(" CTP/1.0")) {
      const std::string command = rest.substr(0, rest.size() - 8);
      if (command == "exit") {
        if (!c.logged_in) {
          entry["reply"] = config_answer("CTP/1.0 401 Unauthorized");
          entry["note"] = "leave-mode request without a login";
        } else if (settings_.has(TCtpFault::ExitRefused)) {
          entry["reply"] = config_answer("CTP/1.0 500 Refused");
          entry["note"] = "fault ctp-exit-refused";
        } else {
          {
            std::lock_guard lock(mutex_);
            upgrade_mode_ = true;
          }
          entry["reply"] = config_answer("CTP/1.0 200 OK");
        }
        Record(c, std::move(entry));
        continue;
      }
      // A command with header lines and a body (cfgusr: the login).
      nlohmann::json headers = nlohmann::json::array();
      std::optional<std::int64_t> content_length;
      std::string header;
      bool framing_ok = true;
      while (c.ReadLine(header) && !header.empty()) {
        const std::size_t colon = header.find(':');
        const std::string name = header.substr(0, colon);
        const std::string value = colon == std::string::npos ? "" : header.substr(colon + 1);
        headers.push_back({name, value});
        if (name == "Content-Length") content_length = Number(value);
        if (headers.size() > 32) break;
      }
      entry["headers"] = headers;
      if (!content_length || *content_length > static_cast<std::int64_t>(kMaxBody) ||
          !c.ReadExact(body, static_cast<std::size_t>(*content_length))) {
        framing_ok = false;
        body.clear();
      }
      entry["body"] = Printable(body);
      const std::string expected =
          "-login " + settings_.user + ":" + settings_.password + "\r\n\r\n";
      if (command != "cfgusr") {
        entry["reply"] = config_answer("CTP/1.0 404 Not Found");
        entry["note"] = "unknown config command";
      } else if (!framing_ok || !body.starts_with("-login ") || !body.ends_with("\r\n\r\n")) {
        entry["reply"] = config_answer("CTP/1.0 400 Bad Request");
        entry["note"] = "login body or Content-Length malformed";
      } else if (settings_.has(TCtpFault::LoginRefused) || body != expected) {
        entry["reply"] = config_answer("CTP/1.0 401 Unauthorized");
        entry["note"] =
            settings_.has(TCtpFault::LoginRefused) ? "fault ctp-login-refused" : "wrong account";
      } else {
        c.logged_in = true;
        entry["reply"] = config_answer("CTP/1.0 200 OK");
      }
      Record(c, std::move(entry));
      if (!framing_ok) break;
      continue;
    }

    const auto length = Number(rest);
    const bool known = verb == "CMD" || verb == "FILE" || verb == "DATA" || verb == "MD5";
    if (!known || !length || *length > static_cast<std::int64_t>(kMaxBody)) {
      entry["note"] = "malformed request line";
      entry["reply"] = reply("ERR bad request", false);
      if (quiet_data) entry["request"] = Printable(line);
      Record(c, std::move(entry));
      break;  // the stream cannot be followed any further
    }
    if (!c.ReadExact(body, static_cast<std::size_t>(*length))) {
      entry["size"] = *length;
      entry["note"] = "connection ended inside the request";
      if (quiet_data) entry["request"] = Printable(line);
      Record(c, std::move(entry));
      break;
    }
    entry["size"] = *length;
    const bool upgrade_mode = InUpgradeMode();

    if (verb == "CMD") {
      entry["body"] = Printable(body);
      if (body == "echo hello") {
        if (settings_.has(TCtpFault::ProbeUnanswered)) {
          entry["note"] = "fault ctp-probe-unanswered";
        } else if (!upgrade_mode) {
          entry["reply"] = reply("ERR not in upgrade mode", false);
        } else {
          c.upgrade_traffic = true;
          entry["reply"] = reply("OK", true);
        }
      } else if (!c.upgrade_traffic) {
        entry["reply"] = reply("ERR not in upgrade mode", false);
      } else {
        entry["reply"] = reply("OK", true);
      }
    } else if (verb == "FILE") {
      const std::size_t last_blank = body.rfind(' ');
      std::optional<std::int64_t> size;
      if (last_blank != std::string::npos) {
        size = Number(std::string_view(body).substr(last_blank + 1));
      }
      if (!c.upgrade_traffic) {
        entry["reply"] = reply("ERR not in upgrade mode", false);
      } else if (c.file) {
        entry["note"] = fail_file("a file was announced before the last one was complete");
        entry["reply"] = reply("ERR previous file incomplete", false);
      } else if (!size || last_blank == 0) {
        entry["note"] = fail_file("malformed file announcement");
        entry["reply"] = reply("ERR bad announcement", false);
      } else {
        TCtpReceivedFile file;
        file.name = body.substr(0, last_blank);
        c.expected = *size;
        entry["file"] = file.name;
        entry["file_size"] = *size;
        if (!settings_.upload_dir.empty()) {
          std::filesystem::create_directories(settings_.upload_dir);
          c.keep.open(settings_.upload_dir + "/" + SafeName(file.name), std::ios::binary);
        }
        c.file = std::move(file);
        entry["reply"] = reply("OK", true);
      }
    } else if (verb == "DATA") {
      ++c.data_blocks;
      if (!c.file) {
        entry["note"] = "data without an announced file";
        entry["reply"] = reply("ERR no file", false);
      } else if (*length < 1 || *length > kMaxBlock ||
                 static_cast<std::int64_t>(c.file->size) + *length > c.expected) {
        entry["note"] = fail_file("data block of a wrong size");
        entry["reply"] = reply("ERR bad block size", false);
      } else if (settings_.has(TCtpFault::CloseMidTransfer) && c.data_blocks == 2) {
        entry["note"] = "fault ctp-close-mid-transfer: connection closed";
        closed_on_purpose = true;
      } else if (settings_.has(TCtpFault::DataRefused) && c.data_blocks == 1) {
        entry["note"] = fail_file("fault ctp-data-refused");
        entry["reply"] = reply("ERR busy", false);
      } else {
        // The answer goes out first: digest, copy and record are done while the client reads
        // its next block, as a camera that buffers the block would.
        const std::string answer = reply("OK", c.data_blocks == 1);
        c.md5.Update(body.data(), body.size());
        if (c.file->head.size() < kHeadBytes) {
          c.file->head.append(body, 0, kHeadBytes - c.file->head.size());
        }
        if (c.keep.is_open()) c.keep.write(body.data(), static_cast<std::streamsize>(body.size()));
        c.file->size += body.size();
        ++c.accepted_blocks;
        if (!settings_.record_data_blocks) continue;
        entry["reply"] = answer;
      }
    } else {  // MD5
      if (!c.file || *length != 16) {
        entry["note"] = c.file ? fail_file("digest of a wrong length") : "digest without a file";
        entry["reply"] = reply("ERR bad digest request", false);
      } else {
        const auto digest = c.md5.Final();
        const bool whole = static_cast<std::int64_t>(c.file->size) == c.expected;
        const bool match = std::memcmp(digest.data(), body.data(), 16) == 0;
        c.file->md5 = HexLower(digest);
        entry["file"] = c.file->name;
        entry["md5"] = c.file->md5;
        if (!settings_.record_data_blocks) entry["data_blocks"] = c.accepted_blocks;
        c.accepted_blocks = 0;
        if (!whole || !match) {
          entry["note"] = fail_file(whole ? "digest does not match the data"
                                          : "digest before the whole file arrived");
          entry["reply"] = reply("ERR md5 mismatch", false);
        } else {
          c.file->complete = true;
          c.keep.close();
          c.files.push_back(std::move(*c.file));
          c.file.reset();
          entry["reply"] = reply("OK", true);
        }
      }
    }
    if (quiet_data) entry["request"] = Printable(line);
    Record(c, std::move(entry));
  }

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
