// SPDX-License-Identifier: Apache-2.0
#include "search_responder_ext.h"

#include <iostream>

#include "discovery/search_datagrams.h"
#include "search_responder_1010.h"
#include "search_responder_8600.h"
#include "search_responder_moi.h"

namespace camlift::sim {
namespace {

constexpr TSearchDialect kSearchDialects[] = {
    {"moi", kMoiResponderPort, TSimSeries::M, AnswerMoi},
    {"1010", k1010ResponderPort, TSimSeries::P, Answer1010},
    {"8600", k8600Port, TSimSeries::R, Answer8600},
};

class TSearchService final : public ICameraService {
 public:
  std::vector<std::unique_ptr<TSearchResponder>> responders;
};

class TSearchExtension final : public ICameraExtension {
 public:
  std::unique_ptr<ICameraService> StartService(TSimCamera& camera) override {
    const std::vector<std::string> dialects = SearchDialectsOf(camera.config());
    if (dialects.empty()) return nullptr;
    const TSearchIdentity identity = SearchIdentityOf(camera);
    auto service = std::make_unique<TSearchService>();
    for (const std::string& name_of_dialect : dialects) {
      const TSearchDialect* dialect = FindSearchDialect(name_of_dialect);
      if (!dialect) continue;  // the scenario reader refuses unknown names
      const std::string& name = camera.config().name;
      auto answer = dialect->answer;
      auto responder = std::make_unique<TSearchResponder>(
          dialect->name, dialect->port,
          [identity, answer](std::span<const std::uint8_t> datagram) {
            return answer(identity, datagram);
          },
          camera.recorder(), name);
      responder->SetReplySource(camera.config().ip);
      responder->SetSlow(camera.config().has(TCameraFault::SlowSearch));
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

std::vector<std::string> SearchDialectsOf(const TCameraConfig& config) {
  if (!config.search_dialects.empty()) return config.search_dialects;
  // Series K answers the CTP search through its own responder (ctp_extension.h).
  std::vector<std::string> dialects;
  for (const TSearchDialect& dialect : kSearchDialects) {
    if (dialect.series == config.series) dialects.emplace_back(dialect.name);
  }
  return dialects;
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
