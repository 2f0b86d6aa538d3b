// SPDX-License-Identifier: Apache-2.0
#include "ctp_extension.h"

#include <iostream>

#include "ctp_camera.h"

namespace camlift::sim {
namespace {

class TCtpSearchService final : public ICameraService {
 public:
  std::unique_ptr<TCtpSearchResponder> responder;
};

class TCtpExtension final : public ICameraExtension {
 public:
  explicit TCtpExtension(TSimCamera& camera) {
    const TCameraConfig& config = camera.config();
    TCtpCameraSettings settings;
    settings.name = config.name;
    settings.address = config.ip;
    settings.port = config.port;
    settings.user = config.user;
    settings.password = config.password;
    settings.upload_dir = config.upload_dir;
    settings.faults = config.faults;  // the service acts on its own (ctp_faults.h)
    TSimCamera* owner = &camera;
    ctp_ = std::make_shared<TCtpCamera>(
        settings, camera.recorder(), [owner](const std::vector<TCtpReceivedFile>& files) {
          // The camera installs the first file that is a firmware of its series.
          std::optional<TSimFirmwareInfo> firmware;
          for (const TCtpReceivedFile& file : files) {
            firmware = ReadSimFirmwareInfo(std::span(file.head.data(), file.head.size()));
            if (firmware && firmware->series == owner->config().series) break;
            firmware.reset();
          }
          owner->BeginRestart(firmware);
        });
  }

  std::shared_ptr<IPortProtocol> PortProtocol(TSimCamera&) override {
    ctp_->Reset();  // the camera has (re)started: no upgrade mode
    return ctp_;
  }

  std::unique_ptr<ICameraService> StartService(TSimCamera& camera) override {
    auto service = std::make_unique<TCtpSearchService>();
    try {
      service->responder =
          std::make_unique<TCtpSearchResponder>([&camera] { return CtpSearchIdentityOf(camera); },
                                                camera.recorder(), camera.config().name);
    } catch (const std::exception& e) {
      // A port held by another program only silences the search; the camera still runs.
      std::cerr << "camlift-sim: camera " << camera.config().name << ": " << e.what() << "\n";
    }
    return service;
  }

 private:
  std::shared_ptr<TCtpCamera> ctp_;
};

}  // namespace

TCtpSearchIdentity CtpSearchIdentityOf(const TSimCamera& camera) {
  const TCameraConfig& config = camera.config();
  const TCameraState state = camera.state();
  TCtpSearchIdentity id;
  id.name = config.device_name;
  id.serial = config.device_id;
  id.ip = config.search_ip.empty() ? config.ip : config.search_ip;
  id.source_ip = config.ip;
  id.slow = config.has(TCameraFault::SlowSearch);
  id.netmask = config.netmask;
  id.port = camera.http_port();
  id.dns1 = config.dns;
  id.dns2 = config.dns;
  id.gateway = config.gateway;
  id.mac = config.mac;
  id.sys_version = state.sys_version;
  id.ui_version = state.ui_version;
  id.others_before = config.ctp_search_crowd;
  return id;
}

std::unique_ptr<ICameraExtension> MakeCtpCameraExtension(TSimCamera& camera) {
  if (ProfileOf(camera.config().series).delivery != TSimDelivery::CommandService) return nullptr;
  return std::make_unique<TCtpExtension>(camera);
}

}  // namespace camlift::sim
