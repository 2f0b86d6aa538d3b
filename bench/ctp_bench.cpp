// The CTP transfer of a 32 MiB package to a simulated K camera on loopback, at time scale 0 (no
// pauses), against the limit of its stop-and-wait exchange: one round trip per 1400-byte block,
// measured on the same loopback with a minimal echo of a data request and its "REPLY OK".
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "ctp_camera.h"
#include "pk2_builder.h"
#include "platform/socket.h"
#include "platform/timing.h"
#include "upgrade/ctp_upgrade.h"
#include "upgrade/pk2_format.h"

namespace camlift {
namespace {

constexpr std::uint64_t kPackageBytes = 32ull * 1024 * 1024;
constexpr std::size_t kRequestBytes = 11 + CtpLimits::kBlockSize;  // "DATA 1400\r\n" + data
constexpr std::string_view kOk = "REPLY OK\r\n";

void BM_CtpTransfer32MiB(benchmark::State& state) {
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
  // recorded:0 keeps the simulated camera's per-block record lines out of the figure (they cost
  // it more than the transfer itself); recorded:1 shows the camera as the tests run it.
  sim::TCtpCameraSettings settings;
  settings.record_data_blocks = state.range(0) != 0;
  auto camera =
      std::make_shared<sim::TCtpCamera>(settings, std::make_shared<sim::TSimRecorder>());
  sim::TCtpStandaloneServer server(camera);
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
