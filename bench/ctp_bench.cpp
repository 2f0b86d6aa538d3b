// SPDX-License-Identifier: Apache-2.0
// The CTP transfer of a 32 MiB package on loopback, at time scale 0 (no pauses), against the limit
// of its stop-and-wait exchange: one round trip per 1400-byte block, measured on the same loopback
// with a minimal echo of a data request and its "REPLY OK". The transfer runs against two peers:
// a reference peer that only acknowledges (so the figure is our client's own cost) and the
// simulated K camera (which digests and checks what it gets).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>

#include "ctp/ctp_upgrade.h"
#include "ctp/pk2_format.h"
#include "ctp_camera.h"
#include "pk2_builder.h"
#include "platform/socket.h"
#include "platform/timing.h"

namespace camlift {
namespace {

using sim::IPortProtocol;

constexpr std::uint64_t kPackageBytes = 32ull * 1024 * 1024;
constexpr std::size_t kRequestBytes = 11 + CtpLimits::kBlockSize;  // "DATA 1400\r\n" + data
constexpr std::string_view kOk = "REPLY OK\r\n";

// The reference peer: answers every request as soon as it has it whole ("200" to the login and
// the leave-mode request, "REPLY OK" to everything else) and does nothing else with it.
class TCtpAckPeer final : public IPortProtocol {
 public:
  std::size_t SniffLength() const override { return 4; }
  bool Claims(std::span<const char> first_bytes) const override { return first_bytes.size() == 4; }
  void Serve(int fd, const std::atomic<bool>& stop) override {
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const timeval slice{0, 100 * 1000};  // wakes the receive to look at the stop flag
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice);
    std::array<char, 8192> buffer{};
    std::size_t begin = 0, end = 0;
    const auto fill = [&] {
      if (begin == end) begin = end = 0;
      if (end == buffer.size()) {
        std::memmove(buffer.data(), buffer.data() + begin, end - begin);
        end -= begin;
        begin = 0;
      }
      while (!stop.load()) {
        const ssize_t n = ::recv(fd, buffer.data() + end, buffer.size() - end, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (n <= 0) return false;
        end += static_cast<std::size_t>(n);
        return true;
      }
      return false;
    };
    const auto line = [&](std::string_view& out) {
      for (;;) {
        const std::string_view held(buffer.data() + begin, end - begin);
        if (const std::size_t crlf = held.find("\r\n"); crlf != std::string_view::npos) {
          out = held.substr(0, crlf);
          begin += crlf + 2;
          return true;
        }
        if (!fill()) return false;
      }
    };
    const auto skip = [&](std::size_t n) {
      while (n > 0) {
        if (begin == end && !fill()) return false;
        const std::size_t take = std::min(n, end - begin);
        begin += take;
        n -= take;
      }
      return true;
    };
    const auto number = [](std::string_view text) {
      std::size_t value = 0;
      std::from_chars(text.data(), text.data() + text.size(), value);
      return value;
    };
    const auto answer = [&](std::string_view text) {
      return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) ==
             static_cast<ssize_t>(text.size());
    };
    std::string_view request;
    while (line(request)) {
      if (request == "CMD exit CTP/1.0") {
        if (!answer("CTP/1.0 200 OK\r\n\r\n")) return;
        continue;
      }
      if (request.ends_with(" CTP/1.0")) {  // the login: header lines, an empty line, a body
        std::size_t length = 0;
        std::string_view header;
        while (line(header) && !header.empty()) {
          if (header.starts_with("Content-Length:")) length = number(header.substr(15));
        }
        if (!skip(length) || !answer("CTP/1.0 200 OK\r\n\r\n")) return;
        continue;
      }
      const std::size_t blank = request.find(' ');
      if (blank == std::string_view::npos) return;
      if (!skip(number(request.substr(blank + 1))) || !answer(kOk)) return;
    }
  }
};

void RunTransfers(benchmark::State& state, std::shared_ptr<IPortProtocol> peer) {
  SetTimeScaleForTesting(0);
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("camlift-bench-" + std::to_string(::getpid()) + ".pk2"))
                               .string();
  std::string error;
  if (!sim::WriteSimPackage(path, {sim::TSimSeries::K, sim::TFirmwareKind::System, "1.0.2.1"},
                            kPackageBytes, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  sim::TCtpStandaloneServer server(std::move(peer));
  const auto blocks = static_cast<std::int64_t>((kPackageBytes + CtpLimits::kBlockSize - 1) /
                                                CtpLimits::kBlockSize);
  for (auto _ : state) {
    std::string message;
    if (!UpgradeByCtp(path, "127.0.0.1", server.port(), "admin", "", message)) {
      state.SkipWithError(("transfer failed: " + message).c_str());
      break;
    }
  }
  state.counters["blocks_per_second"] = benchmark::Counter(
      static_cast<double>(blocks * state.iterations()), benchmark::Counter::kIsRate);
  state.SetBytesProcessed(static_cast<std::int64_t>(kPackageBytes) * state.iterations());
  std::filesystem::remove(path);
  SetTimeScaleForTesting(-1);
}

// Our client alone: the peer acknowledges each block at once.
void BM_CtpTransferAckPeer(benchmark::State& state) {
  RunTransfers(state, std::make_shared<TCtpAckPeer>());
}
BENCHMARK(BM_CtpTransferAckPeer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_CtpTransfer32MiB(benchmark::State& state) {
  // recorded:0 keeps the simulated camera's per-block record lines out of the figure (they cost
  // it more than the transfer itself); recorded:1 shows the camera as the tests run it.
  sim::TCtpCameraSettings settings;
  settings.record_data_blocks = state.range(0) != 0;
  RunTransfers(state,
               std::make_shared<sim::TCtpCamera>(settings, std::make_shared<sim::TSimRecorder>()));
}
BENCHMARK(BM_CtpTransfer32MiB)
    ->ArgName("recorded")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// The stop-and-wait limit: a peer that reads each 1411-byte request whole and answers it.
void BM_CtpStopAndWaitLimit(benchmark::State& state) {
  TSocketHandle listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof local;
  ::bind(listener.get(), reinterpret_cast<sockaddr*>(&local), size);
  ::listen(listener.get(), 1);
  ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&local), &size);
  TSocketHandle client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  int on = 1;
  ::setsockopt(client.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  if (::connect(client.get(), reinterpret_cast<sockaddr*>(&local), size) != 0) {
    state.SkipWithError("cannot connect on loopback");
    return;
  }
  TSocketHandle server(::accept(listener.get(), nullptr, nullptr));
  ::setsockopt(server.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);

  std::thread echo([fd = server.get()] {
    char request[kRequestBytes];
    for (;;) {
      std::size_t have = 0;
      while (have < kRequestBytes) {
        const ssize_t n = ::recv(fd, request + have, kRequestBytes - have, 0);
        if (n <= 0) return;
        have += static_cast<std::size_t>(n);
      }
      if (::send(fd, kOk.data(), kOk.size(), MSG_NOSIGNAL) <= 0) return;
    }
  });

  char request[kRequestBytes] = "DATA 1400\r\n";
  char reply[64];
  for (auto _ : state) {
    if (::send(client.get(), request, kRequestBytes, MSG_NOSIGNAL) !=
        static_cast<ssize_t>(kRequestBytes)) {
      state.SkipWithError("short send");
      break;
    }
    if (::recv(client.get(), reply, sizeof reply, 0) <= 0) {
      state.SkipWithError("no answer");
      break;
    }
  }
  state.counters["blocks_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  ::shutdown(client.get(), SHUT_RDWR);
  echo.join();
}
BENCHMARK(BM_CtpStopAndWaitLimit)->UseRealTime()->MinTime(1.0);

}  // namespace
}  // namespace camlift
