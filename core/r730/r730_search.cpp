// SPDX-License-Identifier: Apache-2.0
#include "r730/r730_search.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "discovery/net_interfaces.h"
#include "discovery/reply_parsers.h"
#include "discovery/search_datagrams.h"
#include "discovery/udp_endpoint.h"
#include "platform/dispatcher.h"
#include "platform/thread_start.h"
#include "platform/timing.h"

namespace camlift {
namespace {

struct TSearchRegistry {
  // A stop request ends every thread that started under an older generation.
  std::atomic<unsigned> generation{0};
  std::atomic<int> running{0};
  std::atomic<std::uint16_t> local_port{k8600LocalPort};
  std::atomic<std::uint16_t> blocked_port{0};
};

TSearchRegistry& Registry() {
  static TSearchRegistry registry;
  return registry;
}

}  // namespace

void SetR730SearchLocalPort(std::uint16_t port) { Registry().local_port = port; }

void StopR730Searches(IUiDispatcher& ui) {
  ++Registry().generation;
  WaitR730SearchesDone(ui);
}

void WaitR730SearchesDone(IUiDispatcher& ui) {
  WaitServingUi(ui, [] { return Registry().running.load() == 0; });
}

int RunningR730Searches() { return Registry().running.load(); }

std::uint16_t R730SearchBlockedPort() { return Registry().blocked_port.load(); }

std::uint16_t TR730Series::BlockedPort() const { return R730SearchBlockedPort(); }

void TR730Series::StopSearches(IUiDispatcher& ui) { StopR730Searches(ui); }

void TR730Series::SearchDevices(std::uint16_t port, const TR730SearchHandler& handler) {
  TSearchRegistry& registry = Registry();
  TSocketHandle socket = MakeUdpSocket(true);
  if (!socket.valid()) return;
  const std::uint16_t local_port = registry.local_port.load();
  if (!BindUdp(socket.get(), local_port)) {
    // While an older search still holds port 3565 this one sends nothing: the older thread
    // already receives every answer. Held by no search of ours, another program has it.
    registry.blocked_port = registry.running.load() == 0 ? local_port : 0;
    return;
  }
  registry.blocked_port = 0;
  EnlargeReceiveBuffer(socket.get());
  const TBytes query = Build8600Query();
  // The query goes out through every adapter, as the other search datagrams do.
  for (const std::uint32_t address : CurrentSearchTargets().Addresses) {
    SendDatagram(socket.get(), address, port, query.data(), query.size());
  }
  TRecvThread::Start(std::move(socket), handler);
}

TRecvThread::TRecvThread(TSocketHandle socket, TR730SearchHandler handler, unsigned generation)
    : socket_(std::move(socket)), handler_(std::move(handler)), generation_(generation) {}

void TRecvThread::Start(TSocketHandle socket, TR730SearchHandler handler) {
  TSearchRegistry& registry = Registry();
  auto thread = std::make_unique<TRecvThread>(std::move(socket), std::move(handler),
                                              registry.generation.load());
  // Counted before the start so that a waiter never misses a running thread; a start that
  // failed takes its count back, or teardown would wait for a thread that never ran.
  ++registry.running;
  if (!StartDetachedThread([self = std::shared_ptr<TRecvThread>(std::move(thread))] {
        self->Run();
        --Registry().running;
      })) {
    --registry.running;
  }
}

void TRecvThread::Run() {
  TSearchRegistry& registry = Registry();
  int empty_waits = 0;
  std::array<std::uint8_t, k8600BufferSize> buffer{};
  // Ten empty waits end the thread, and so does its time limit: a steady stream of datagrams to
  // the search port would otherwise keep it, and the port, for ever, and no later pass could
  // send its query.
  const auto limit = std::chrono::steady_clock::now() + Duration(Wait::R730ReceiveLimit);
  while (empty_waits < kEmptyWaits && registry.generation.load() == generation_ &&
         std::chrono::steady_clock::now() < limit) {
    pollfd p{socket_.get(), POLLIN, 0};
    const int ready = ::poll(&p, 1, Millis(Wait::R730ReceiveWait));
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (ready == 0) {
      ++empty_waits;
      continue;
    }
    // Every camera answers at once: what waits is parsed and handed over in one call.
    std::vector<TDevInfo> records;
    for (std::size_t read = 0; read < kMaxDatagramsAtOnce; ++read) {
      buffer.fill(0);
      sockaddr_in from{};
      socklen_t from_length = sizeof from;
      const ssize_t n = ::recvfrom(socket_.get(), buffer.data(), buffer.size(), MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&from), &from_length);
      if (n < 0) break;
      TDevInfo record;
      if (n < 1 ||
          !Parse8600Reply(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(n)),
                          record)) {
        continue;
      }
      record.ReplyFrom = AddressText(from.sin_addr.s_addr);
      records.push_back(std::move(record));
    }
    // A search stopped while these were read hands nothing more over.
    if (registry.generation.load() != generation_) break;
    if (!records.empty() && handler_) handler_(records);
  }
  socket_.reset();
}

}  // namespace camlift
