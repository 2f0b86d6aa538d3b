// SPDX-License-Identifier: Apache-2.0
// A simulated series R camera with its configuration side, for tests that change its settings.
// Its address and MAC belong to this test process alone: the settings datagram is a broadcast
// that the simulated cameras of every other test on loopback hear too. Header only, for the test
// binaries that link the simulator.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "r730_sim_config.h"
#include "search_responder_ext.h"
#include "sim_camera.h"

namespace camlift::test {

// "127.<a>.<b>.<host>", <a>.<b> made of the process id.
inline std::string ProcessLoopbackAddress(int host) {
  const int pid = static_cast<int>(::getpid());
  return "127." + std::to_string(pid / 250 % 250 + 1) + "." + std::to_string(pid % 250 + 1) + "." +
         std::to_string(host);
}

// "02:<pid>:7E:<last>", a locally administered MAC of this process.
inline std::string ProcessMac(std::uint8_t last) {
  const unsigned pid = static_cast<unsigned>(::getpid());
  char text[18];
  std::snprintf(text, sizeof text, "02:%02X:%02X:%02X:7E:%02X", (pid >> 16) & 0xFF,
                (pid >> 8) & 0xFF, pid & 0xFF, last);
  return text;
}

struct TR730TestCameraOptions {
  int host = 1;             // the last part of its address, ProcessLoopbackAddress(host)
  std::string sys_version;  // "": the simulator's own
  std::string user = "admin";
  std::string device_name;      // "": the simulator's own
  int reboot_ms = 2000;         // scaled by CAMLIFT_TIME_SCALE
  bool answers_search = false;  // also answers the 8600 search, for tests that search for it
  std::string password;
  std::uint8_t mac_last = 0x30;  // tests of one process that run cameras side by side differ here
};

// The options most tests need: the camera's password and the last byte of its MAC.
inline TR730TestCameraOptions R730TestCameraWith(std::string password, std::uint8_t mac_last) {
  TR730TestCameraOptions options;
  options.password = std::move(password);
  options.mac_last = mac_last;
  return options;
}

class TR730TestCamera {
 public:
  explicit TR730TestCamera(TR730TestCameraOptions options) : options_(std::move(options)) {}
  ~TR730TestCamera() { Stop(); }
  TR730TestCamera(const TR730TestCamera&) = delete;
  TR730TestCamera& operator=(const TR730TestCamera&) = delete;

  // (Re)starts the camera with these settings; the record goes on.
  void Start(sim::TR730SimSettings settings = {}) {
    Stop();
    state_ = std::make_shared<sim::TR730SimState>(std::move(settings));
    sim::TCameraConfig c;
    c.name = "R1";
    c.series = sim::TSimSeries::R;
    c.ip = ProcessLoopbackAddress(options_.host);
    c.port = 0;
    c.upload_port = 0;
    c.user = options_.user;
    c.password = options_.password;
    c.mac = Mac();
    if (!options_.device_name.empty()) c.device_name = options_.device_name;
    if (!options_.sys_version.empty()) c.sys_version = options_.sys_version;
    c.reboot_ms = options_.reboot_ms;
    std::vector<sim::TCameraExtensionFactory> extensions;
    if (options_.answers_search) extensions.emplace_back(sim::MakeSearchResponderExtension);
    extensions.emplace_back(sim::R730ConfigExtension(state_));
    camera_ = std::make_unique<sim::TSimCamera>(c, recorder_, std::move(extensions));
    camera_->Start();
  }

  void Stop() {
    if (camera_) camera_->Stop();
    camera_.reset();
  }

  std::string Mac() const { return ProcessMac(options_.mac_last); }
  sim::TSimCamera& Camera() const { return *camera_; }
  sim::TR730SimState& State() const { return *state_; }
  const sim::TSimRecorder& Recorder() const { return *recorder_; }

  // The record's entries of one event ("network-settings": the settings datagrams it heard).
  std::vector<nlohmann::json> Events(std::string_view event) const {
    std::vector<nlohmann::json> out;
    for (const auto& e : recorder_->Entries()) {
      if (e.value("event", "") == event) out.push_back(e);
    }
    return out;
  }

 private:
  TR730TestCameraOptions options_;
  std::shared_ptr<sim::TSimRecorder> recorder_ = std::make_shared<sim::TSimRecorder>();
  std::shared_ptr<sim::TR730SimState> state_;
  std::unique_ptr<sim::TSimCamera> camera_;
};

}  // namespace camlift::test
