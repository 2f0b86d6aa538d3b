// SPDX-License-Identifier: Apache-2.0
#include "search_responder_ext.h"

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>

#include "discovery/search_datagrams.h"
#include "search_responder_1010.h"
#include "search_responder_8600.h"
#include "search_responder_moi.h"

namespace camlift::sim {
namespace {

constexpr TSearchDialect kSearchDialects[] = {
    {"moi", kMoiResponderPort, AnswerMoi},
    {"1010", k1010ResponderPort, Answer1010},
    {"8600", k8600Port, Answer8600},
};

// Dialects answered by a responder outside kSearchDialects, and where.
constexpr const char* kAnsweredElsewhere[] = {
    "ctp",  // TCtpSearchResponder of the series K extension (ctp_extension.cpp)
};

// search-port-stream: junk datagrams to the port the last 8600 query came from, one every 5 ms,
// until the camera stops.
class TPortStream {
 public:
  TPortStream() : socket_(MakeUdpSocket(false)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~TPortStream() {
    stop_ = true;
    thread_.join();
  }
  TPortStream(const TPortStream&) = delete;
  TPortStream& operator=(const TPortStream&) = delete;
  void Target(const sockaddr_in& sender) {
    std::lock_guard lock(mutex_);
    target_ = sender;
  }

 private:
  void Run() {
    static constexpr std::string_view kJunk = "not a search reply";
    while (!stop_) {
      std::optional<sockaddr_in> target;
      {
        std::lock_guard lock(mutex_);
        target = target_;
      }
      if (target && socket_.valid()) {
        ::sendto(socket_.get(), kJunk.data(), kJunk.size(), MSG_DONTWAIT,
                 reinterpret_cast<const sockaddr*>(&*target), sizeof *target);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  TSocketHandle socket_;
  std::mutex mutex_;
  std::optional<sockaddr_in> target_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// mac-flood: info replies each with a MAC of its own, never sent before by this camera.
std::vector<TBytes> MacFlood(TSearchIdentity identity, std::atomic<std::uint32_t>& next) {
  constexpr int kReplies = 1024;
  std::vector<TBytes> replies;
  for (int i = 0; i < kReplies; ++i) {
    const std::uint32_t n = next++;
    identity.mac = {0x02,
                    0xF1,
                    static_cast<std::uint8_t>(n >> 24),
                    static_cast<std::uint8_t>(n >> 16),
                    static_cast<std::uint8_t>(n >> 8),
                    static_cast<std::uint8_t>(n)};
    replies.push_back(Build1010Info(identity));
  }
  return replies;
}

bool Is1010Query(std::span<const std::uint8_t> datagram) {
  return datagram.size() >= 4 && datagram[0] == 0x10 && datagram[1] == 0x10 &&
         datagram[2] == 0x01 && datagram[3] == 0x0F;
}

class TSearchService final : public ICameraService {
 public:
  // The responders stop first: the 8600 one tells the stream where to send, and must not call it
  // once it is gone.
  ~TSearchService() override { responders.clear(); }
  std::vector<std::unique_ptr<TSearchResponder>> responders;
  std::atomic<std::uint32_t> next_flood_mac{0};
  std::unique_ptr<TPortStream> stream;
};

class TSearchExtension final : public ICameraExtension {
 public:
  std::unique_ptr<ICameraService> StartService(TSimCamera& camera) override {
    const std::vector<std::string> dialects = SearchDialectsOf(camera.config());
    if (dialects.empty()) return nullptr;
    const TSearchIdentity identity = SearchIdentityOf(camera);
    auto service = std::make_unique<TSearchService>();
    const bool flood = camera.config().has(TCameraFault::MacFlood);
    if (camera.config().has(TCameraFault::SearchPortStream)) {
      service->stream = std::make_unique<TPortStream>();
    }
    for (const std::string& name_of_dialect : dialects) {
      const TSearchDialect* dialect = FindSearchDialect(name_of_dialect);
      if (!dialect) continue;  // the scenario reader refuses unknown names
      const std::string& name = camera.config().name;
      auto answer = dialect->answer;
      const bool flood_here = flood && std::string_view(dialect->name) == "1010";
      std::atomic<std::uint32_t>* next_mac = &service->next_flood_mac;
      auto responder = std::make_unique<TSearchResponder>(
          dialect->name, dialect->port,
          [identity, answer, flood_here, next_mac](std::span<const std::uint8_t> datagram) {
            std::vector<TBytes> answers = answer(identity, datagram);
            if (flood_here && Is1010Query(datagram)) {
              for (TBytes& reply : MacFlood(identity, *next_mac)) {
                answers.push_back(std::move(reply));
              }
            }
            return answers;
          },
          camera.recorder(), name);
      responder->SetReplySource(camera.config().ip);
      responder->SetSlow(camera.config().has(TCameraFault::SlowSearch));
      if (service->stream && std::string_view(dialect->name) == "8600") {
        TPortStream* stream = service->stream.get();
        responder->SetOnDatagram([stream](const sockaddr_in& sender) { stream->Target(sender); });
      }
      try {
        responder->Start();
        service->responders.push_back(std::move(responder));
      } catch (const std::exception& e) {
        // A port held by another program only silences this dialect; the camera still runs.
        std::cerr << "camlift-sim: camera " << name << ": " << e.what() << "\n";
      }
    }
    return service;
  }
};

}  // namespace

std::span<const TSearchDialect> SearchDialects() { return kSearchDialects; }

const TSearchDialect* FindSearchDialect(const std::string& name) {
  for (const TSearchDialect& dialect : kSearchDialects) {
    if (name == dialect.name) return &dialect;
  }
  return nullptr;
}

std::string SearchDialectList() {
  std::string list;
  const std::size_t count = std::size(kSearchDialects);
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) list += i + 1 == count ? " or " : ", ";
    list += kSearchDialects[i].name;
  }
  return list;
}

std::vector<std::string> AnsweredSearchDialects() {
  std::vector<std::string> names;
  for (const TSearchDialect& dialect : kSearchDialects) names.emplace_back(dialect.name);
  for (const char* name : kAnsweredElsewhere) names.emplace_back(name);
  return names;
}

std::vector<std::string> SearchDialectsOf(const TCameraConfig& config) {
  if (!config.search_dialects.empty()) return config.search_dialects;
  // The series' profile names its dialect; series K names none, as it answers the CTP search
  // through its own responder (ctp_extension.h).
  const std::string_view own = ProfileOf(config.series).search_dialect;
  if (own.empty()) return {};
  return {std::string(own)};
}

TSearchIdentity SearchIdentityOf(const TSimCamera& camera) {
  const TCameraConfig& config = camera.config();
  const TCameraState state = camera.state();
  TSearchIdentity identity;
  identity.ip = config.search_ip.empty() ? config.ip : config.search_ip;
  identity.netmask = config.netmask;
  identity.gateway = config.gateway;
  identity.dns1 = config.dns;
  ParseMacText(config.mac, identity.mac);
  identity.device_id = config.device_id;
  identity.name = config.device_name;
  identity.sys_version = state.sys_version;
  identity.app_version = state.ui_version;
  identity.serial = config.device_id;
  identity.port = static_cast<std::uint16_t>(camera.http_port());
  return identity;
}

std::unique_ptr<ICameraExtension> MakeSearchResponderExtension(TSimCamera&) {
  return std::make_unique<TSearchExtension>();
}

}  // namespace camlift::sim
