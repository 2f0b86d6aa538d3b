#include "search_responder_ext.h"

#include <iostream>

#include "discovery/search_datagrams.h"
#include "search_responder_1010.h"
#include "search_responder_8600.h"
#include "search_responder_moi.h"

namespace camlift::sim {
namespace {

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
    for (const std::string& dialect : dialects) {
      std::unique_ptr<TSearchResponder> responder;
      const std::string& name = camera.config().name;
      if (dialect == "moi") {
        responder = MakeMoiResponder(identity, kMoiResponderPort, camera.recorder(), name);
      } else if (dialect == "1010") {
        responder = Make1010Responder(identity, k1010ResponderPort, camera.recorder(), name);
      } else {
        responder = Make8600Responder(identity, k8600Port, camera.recorder(), name);
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

std::vector<std::string> SearchDialectsOf(const TCameraConfig& config) {
  if (!config.search_dialects.empty()) return config.search_dialects;
  switch (config.series) {
    case TSimSeries::M:
      return {"moi"};
    case TSimSeries::P:
      return {"1010"};
    case TSimSeries::R:
      return {"8600"};
    default:
      return {};  // series K answers the CTP search through its own responder
  }
}

TSearchIdentity SearchIdentityOf(const TSimCamera& camera) {
  const TCameraConfig& config = camera.config();
  const TCameraState state = camera.state();
  TSearchIdentity identity;
  identity.ip = config.ip;
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
