// SPDX-License-Identifier: Apache-2.0
#include "ctp/ctp_session.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>

#include "ctp/ctp_reply.h"
#include "ctp/ctp_search_send.h"
#include "i18n/str_res.h"
#include "platform/broadcast.h"
#include "platform/timing.h"
#include "util/text.h"

// The socket layer needs no start or clean-up on Linux: sockets are ready whenever the process
// runs, so the "socket layer could not be started" failure (IDS_INITWSADATAERR) cannot happen
// here; its text stays in the language files for the platforms that have such a step.

namespace camlift {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kCrLf = "\r\n";

int RemainingMillis(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// TPk2File

bool TPk2File::Open(const std::string& path) {
  file_.reset(std::fopen(path.c_str(), "rb"));
  position_ = 0;
  size_ = 0;
  if (!file_) return false;
  // One read of the system per 46 data blocks rather than per three.
  std::setvbuf(file_.get(), nullptr, _IOFBF, 64 * 1024);
  if (::fseeko(file_.get(), 0, SEEK_END) == 0) size_ = ::ftello(file_.get());
  ::fseeko(file_.get(), 0, SEEK_SET);
  return true;
}

std::size_t TPk2File::Read(void* data, std::size_t size) {
  if (!file_) return 0;
  const std::size_t n = std::fread(data, 1, size, file_.get());
  position_ += static_cast<std::int64_t>(n);
  return n;
}

bool TPk2File::Skip(std::int64_t count) {
  if (!file_ || count < 0) return false;
  if (::fseeko(file_.get(), static_cast<off_t>(count), SEEK_CUR) != 0) return false;
  position_ += count;
  return true;
}

// ---------------------------------------------------------------------------------------------
// TSocketThread

TSocketThread::TSocketThread(std::string ip, int port, const TRunControl& control)
    : ip_(std::move(ip)), port_(port), control_(control) {
  socket_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!socket_.valid()) throw TCtpSocketError(GetLangStr("IDS_CRTSOCKETERR"));
  // Every request is one small write that waits for its answer: coalescing would only delay it.
  int on = 1;
  ::setsockopt(socket_.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

TSocketThread::~TSocketThread() = default;

TCtpConnect TSocketThread::Connect() {
  const auto address = ParseDottedIPv4(ip_);
  if (!address) return TCtpConnect::BadAddress;
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<std::uint16_t>(port_));
  peer.sin_addr.s_addr = *address;
  if (::connect(socket_.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0 &&
      errno != EINPROGRESS && !WouldBlock(errno)) {
    return TCtpConnect::Failed;
  }
  control_.Sleep(Wait::CtpConnectWait);
  // A refusal arrives while we wait, even on loopback; report it as the failed connection it
  // is rather than letting the login fail as if the account were wrong.
  int error = 0;
  socklen_t size = sizeof error;
  if (::getsockopt(socket_.get(), SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error != 0 &&
      error != EINPROGRESS) {
    return TCtpConnect::Failed;
  }
  return TCtpConnect::Ok;
}

bool TSocketThread::IsConnected() const {
  if (!socket_.valid()) return false;
  pollfd p{socket_.get(), POLLOUT, 0};
  if (::poll(&p, 1, 0) <= 0 || (p.revents & (POLLERR | POLLHUP))) return false;
  int error = 0;
  socklen_t size = sizeof error;
  if (::getsockopt(socket_.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
    return false;
  }
  sockaddr_in peer{};
  socklen_t peer_size = sizeof peer;
  return ::getpeername(socket_.get(), reinterpret_cast<sockaddr*>(&peer), &peer_size) == 0;
}

TCtpClose TSocketThread::Close() {
  if (!socket_.valid()) return TCtpClose::Ok;
  return socket_.reset() == 0 ? TCtpClose::Ok : TCtpClose::Failed;
}

TCtpCode TSocketThread::ReadReply(std::string& text, int& length) {
  text.clear();
  length = 0;
  const int fd = socket_.get();
  auto deadline = Clock::now() + Duration(Wait::CtpReplyTimeout);
  bool continuing = false;
  std::size_t held = 0;  // bytes of a further reply that arrived with a Continue
  for (;;) {
    // Also when replies keep coming: a peer that keeps the queue full of "REPLY Continue" never
    // lets a receive wait, and must not hold the session longer than the Continue limit.
    if (continuing && Clock::now() >= deadline) return TCtpCode::Timeout;
    std::size_t received = held;
    if (held == 0) {
      // The answer is often in already (the block after it was prepared while the camera
      // worked): look before waiting, which saves a wait per block.
      receive_buffer_.fill(0);
      const ssize_t n = ::recv(fd, receive_buffer_.data(), receive_buffer_.size() - 1, 0);
      if (n < 0) {
        if (errno == EINTR) continue;
        if (!WouldBlock(errno)) return TCtpCode::SocketError;
        if (!WaitReadable(fd, RemainingMillis(deadline))) return TCtpCode::Timeout;
        continue;
      }
      if (n == 0) return TCtpCode::Closed;
      received = static_cast<std::size_t>(n);
    }
    held = 0;

    const TCtpReply reply = ClassifyCtpReply({receive_buffer_.data(), received});
    if (reply.kind == TCtpReplyKind::NotReply) return TCtpCode::NotReply;
    text.assign(reply.text);
    length = static_cast<int>(text.size());
    if (reply.kind == TCtpReplyKind::Ok) return TCtpCode::Ok;
    if (reply.kind == TCtpReplyKind::Other) return TCtpCode::OtherReply;

    // The camera is still working: wait for its next reply, within the Continue limit.
    if (!continuing) {
      continuing = true;
      deadline = Clock::now() + Duration(Wait::CtpContinueLimit);
    }
    if (reply.next != std::string_view::npos) {
      held = received - reply.next;
      std::memmove(receive_buffer_.data(), receive_buffer_.data() + reply.next, held);
      std::memset(receive_buffer_.data() + held, 0, receive_buffer_.size() - held);
    }
  }
}

TCtpCode TSocketThread::SendCommand(std::string& text) {
  if (!SendRequest()) return TCtpCode::ShortSend;
  int length = 0;
  return ReadReply(text, length);
}

TCtpCode TSocketThread::ReadConfigReply(std::string& text, int& length) {
  text.clear();
  length = 0;
  if (!WaitReadable(socket_.get(), Millis(Wait::CtpReplyTimeout))) return TCtpCode::Timeout;
  receive_buffer_.fill(0);
  ssize_t n;
  do {
    n = ::recv(socket_.get(), receive_buffer_.data(), receive_buffer_.size() - 1, 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return TCtpCode::SocketError;
  if (n == 0) return TCtpCode::Closed;
  text.assign(receive_buffer_.data(), ::strnlen(receive_buffer_.data(), static_cast<size_t>(n)));
  length = static_cast<int>(text.size());
  return TCtpCode::Ok;
}

TCtpCode TSocketThread::SendConfigCommand() {
  if (!SendRequest()) return TCtpCode::ShortSend;
  std::string text;
  int length = 0;
  if (ReadConfigReply(text, length) != TCtpCode::Ok) return TCtpCode::OtherReply;
  return text.find("200") != std::string::npos ? TCtpCode::Ok : TCtpCode::OtherReply;
}

TCtpCode TSocketThread::Login(const std::string& user, const std::string& password) {
  const std::string name = TrimText(user);
  const std::string secret = TrimText(password);
  const std::int64_t body_length = 12 + static_cast<std::int64_t>(name.size() + secret.size());
  BeginRequest();
  const bool fits = Append("CMD cfgusr CTP/1.0\r\nContent-Length:") && AppendNumber(body_length) &&
                    Append("\r\n\r\n-login ") && Append(name) && Append(":") && Append(secret) &&
                    Append("\r\n\r\n");
  // An account that does not fit the send buffer is refused before anything goes out.
  if (!fits) return TCtpCode::OtherReply;
  return SendConfigCommand();
}

TCtpCode TSocketThread::ExitMode() {
  BeginRequest();
  Append("CMD exit CTP/1.0\r\n");
  return SendConfigCommand();
}

TCtpCode TSocketThread::Probe() {
  BeginRequest();
  Append("CMD 10\r\necho hello");
  std::string text;
  return SendCommand(text);
}

bool TSocketThread::CheckPackage(const std::string& file_name) {
  TPk2File package;
  if (!package.Open(file_name)) return false;
  std::array<std::uint8_t, Pk2Layout::kHeaderSize> header{};
  return package.Read(header.data(), header.size()) == header.size() && IsPk2Header(header);
}

TEntryResult TSocketThread::SendEntry(TPk2File& package) {
  if (Clock::now() >= transfer_deadline_) return {TEntryOutcome::Failed, TCtpCode::Timeout};
  std::array<std::uint8_t, Pk2Layout::kEntryHeaderSize> header{};
  if (package.Read(header.data(), header.size()) != header.size()) {
    package.Close();
    return {TEntryOutcome::EndOfPackage, TCtpCode::Ok};
  }
  const std::string_view type(reinterpret_cast<const char*>(header.data()), 4);
  const std::int32_t body_length = ReadLe32(header.data() + Pk2Layout::kBodyLengthOffset);
  TCtpCode code = TCtpCode::OtherReply;
  if (type == Pk2Layout::kFileType) {
    code = SendFileEntry(package);
  } else if (type == Pk2Layout::kCmdType) {
    code = SendCommandEntry(package, body_length);
  } else if (package.Skip(body_length)) {
    // A type this program does not know is stepped over; a negative length would step back
    // into entries already sent.
    code = TCtpCode::Ok;
  }
  return {code == TCtpCode::Ok ? TEntryOutcome::Accepted : TEntryOutcome::Failed, code};
}

TCtpCode TSocketThread::SendFileEntry(TPk2File& package) {
  std::array<std::uint8_t, 4> number{};
  if (package.Read(number.data(), 4) != 4) return TCtpCode::OtherReply;
  const std::int32_t name_length = ReadLe32(number.data());
  // The name travels in one request and the camera keeps at most 255 bytes of it.
  if (name_length < 0 || name_length > Pk2Layout::kMaxNameLength) return TCtpCode::OtherReply;
  std::array<char, Pk2Layout::kMaxNameLength> name{};
  const auto name_size = static_cast<std::size_t>(name_length);
  if (package.Read(name.data(), name_size) != name_size) return TCtpCode::OtherReply;
  if (package.Read(number.data(), 4) != 4) return TCtpCode::OtherReply;
  const std::int32_t data_length = ReadLe32(number.data());

  // "FILE <m>\r\n<name> <D>", m counting the name, the blank and the digits of D.
  std::array<char, 16> digits{};
  const auto [end, ec] = std::to_chars(digits.data(), digits.data() + digits.size(), data_length);
  const std::string_view data_text(digits.data(), static_cast<std::size_t>(end - digits.data()));
  BeginRequest();
  Append("FILE ");
  AppendNumber(static_cast<std::int64_t>(name_size + 1 + data_text.size()));
  Append(kCrLf);
  Append({name.data(), name_size});
  Append(" ");
  Append(data_text);
  if (SendCommand(reply_text_) != TCtpCode::Ok) return TCtpCode::OtherReply;

  TCtpCode code = TCtpCode::OtherReply;  // a file without data is not accepted
  std::int64_t sent = 0;
  // Block N+1 is read and scrambled while the camera answers block N, so that only the send and
  // the answer stay in each round trip; the bytes on the wire are the same.
  std::size_t ready = PrepareBlock(package, BlockSize(data_length, sent));
  while (sent < data_length) {
    if (Clock::now() >= transfer_deadline_) {
      code = TCtpCode::Timeout;
      break;
    }
    const auto k = BlockSize(data_length, sent);
    // A package cut short would send a block shorter than its header says, which the camera
    // could only answer by waiting: fail the entry at once instead.
    if (ready != k) {
      code = TCtpCode::OtherReply;
      break;
    }
    BeginRequest();
    Append("DATA ");
    AppendNumber(static_cast<std::int64_t>(k));
    Append(kCrLf);
    char* block = send_buffer_.data() + send_length_;
    std::memcpy(block, next_block_.data(), k);
    send_length_ += k;
    sent += static_cast<std::int64_t>(k);
    if (!SendRequest()) {
      code = TCtpCode::ShortSend;
      break;
    }
    // While the camera works on this block: digest it and prepare the next one.
    digest_.Update(block, k);
    ready = sent < data_length ? PrepareBlock(package, BlockSize(data_length, sent)) : 0;
    int reply_length = 0;
    code = ReadReply(reply_text_, reply_length);
    if (code != TCtpCode::Ok) break;
    ReportProgress(package, static_cast<std::int64_t>(ready));
  }
  const auto digest = digest_.Final();  // also starts the next entry's digest afresh
  if (code != TCtpCode::Ok) return code;

  BeginRequest();
  Append("MD5 16\r\n");
  Append({reinterpret_cast<const char*>(digest.data()), digest.size()});
  return SendCommand(reply_text_);
}

TCtpCode TSocketThread::SendCommandEntry(TPk2File& package, std::int32_t length) {
  if (length < 0 || length > CtpLimits::kMaxCommandPayload) return TCtpCode::OtherReply;
  BeginRequest();
  Append("CMD ");
  AppendNumber(length);
  Append(kCrLf);
  char* payload = send_buffer_.data() + send_length_;
  const auto size = static_cast<std::size_t>(length);
  if (package.Read(payload, size) != size) return TCtpCode::OtherReply;
  Pk2Scramble(std::span(payload, size));
  send_length_ += size;
  const TCtpCode code = SendCommand(reply_text_);
  if (code == TCtpCode::Ok) ReportProgress(package);
  return code;
}

void TSocketThread::ReportProgress(const TPk2File& package, std::int64_t read_ahead) const {
  control_.Report(TProgressStage::Upload, package.Position() - read_ahead, package.Size());
}

std::size_t TSocketThread::BlockSize(std::int64_t data_length, std::int64_t sent) {
  return static_cast<std::size_t>(
      std::clamp<std::int64_t>(data_length - sent, 0, CtpLimits::kBlockSize));
}

std::size_t TSocketThread::PrepareBlock(TPk2File& package, std::size_t size) {
  const std::size_t got = package.Read(next_block_.data(), size);
  Pk2Scramble(std::span(next_block_.data(), got));
  return got;
}

void TSocketThread::BeginRequest() {
  send_buffer_.fill(0);
  send_length_ = 0;
}

bool TSocketThread::Append(std::string_view bytes) {
  if (bytes.size() > send_buffer_.size() - send_length_) return false;
  std::memcpy(send_buffer_.data() + send_length_, bytes.data(), bytes.size());
  send_length_ += bytes.size();
  return true;
}

bool TSocketThread::AppendNumber(std::int64_t value) {
  std::array<char, 24> digits{};
  const auto [end, ec] = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  return Append({digits.data(), static_cast<std::size_t>(end - digits.data())});
}

bool TSocketThread::SendRequest() {
  ssize_t n;
  do {
    n = ::send(socket_.get(), send_buffer_.data(), send_length_, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(send_length_);
}

int TSocketThread::SearchCtpDevices(TCtpSearchList& list, std::vector<TSendProblem>* problems) {
  TSocketHandle udp = MakeUdpSocket(true);
  if (!udp.valid()) return 0;
  // Port 7999 may be held by the camera search of the main window; the replies then come back
  // to whatever port the system gives this socket.
  BindUdp(udp.get(), kCtpSearchPort);
  std::vector<TSendProblem> refused = SendCtpVersionSearch(udp.get(), ip_);
  if (problems) *problems = std::move(refused);

  int count = 0;
  std::array<char, kCtpSearchReplyLimit + 1> datagram{};
  // The search ends at the target's reply (the one the version is read from), when the replies
  // stop, or at the overall bound: never after a count, which a site with many cameras reaches
  // before the target has answered.
  const Clock::time_point deadline = Clock::now() + Duration(Wait::CtpSearchLimit);
  bool target_seen = false;
  while (!target_seen && RemainingMillis(deadline) > 0) {
    const int wait = std::min(Millis(Wait::CtpSearchWindow), RemainingMillis(deadline));
    if (!WaitReadable(udp.get(), wait)) break;
    datagram.fill(0);
    sockaddr_in from{};
    socklen_t from_length = sizeof from;
    const ssize_t n = ::recvfrom(udp.get(), datagram.data(), kCtpSearchReplyLimit, 0,
                                 reinterpret_cast<sockaddr*>(&from), &from_length);
    if (n <= 0) continue;
    auto record = ParseCtpSearchReply(std::span(datagram.data(), static_cast<std::size_t>(n)));
    // Only the target's reply can be the answer: the others are read and dropped, so that a
    // flood of replies costs nothing but their reading. Any host may answer naming the camera's
    // address: a version in the camera's name counts only when the reply came from the camera's
    // own address.
    if (!record || record->ip != ip_ || AddressText(from.sin_addr.s_addr) != ip_) continue;
    target_seen = true;
    std::string ip = record->ip;
    list.emplace_back(std::move(ip), std::make_unique<TCtpSearchRecord>(std::move(*record)));
    ++count;
  }
  return count;
}

}  // namespace camlift
