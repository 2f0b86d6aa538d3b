// SPDX-License-Identifier: Apache-2.0
// A scenario: the cameras and the repository that one camlift-sim process stands in for, read
// from a JSON file (see sim/examples/three_cameras.json), and the simulator that runs it.
//
// {
//   "record": "record.jsonl",              optional; relative paths are relative to the file
//   "allow_wildcard": false,               optional
//   "repository": {                        optional
//     "root": "repo", "ip": "127.0.0.1", "port": 8090, "faults": ["stall"],
//     "firmware": [                        optional; added (repo add) before the server starts
//       {"folder": "system", "section": "1.2.3", "kind": "sys", "series": "M",
//        "version": "1.2.3.9", "size": 4096, "no": "", "archive": "fw_M_1.2.3.9.zip"}
//     ]
//   },
//   "cameras": [
//     {"name": "front-door", "series": "P", "ip": "127.0.0.3", "port": 8081,
//      "upload_port": 8600, "user": "admin", "password": "123456",
//      "sys_version": "1.0.0.1", "ui_version": "2.0.0.1", "model": "P100", "oem": "acme",
//      "reboot_ms": 8000, "faults": ["old-version"], "close_after_bytes": 65536,
//      "upload_dir": "uploads", "mac": "00:11:22:33:44:55", "device_id": "SIMCAM-000001",
//      "device_name": "Front door", "netmask": "255.0.0.0", "gateway": "127.0.0.1",
//      "dns": "127.0.0.1", "search": ["1010", "moi"]}   search dialects; default: its series'
//   ]
// }
// A camera takes "series", "faults" (sim_faults.h), "search" (search_responder_ext.h) and every
// setting of sim_camera_settings.h under its member's name.
// Unknown keys are refused, so that a misspelt fault switch cannot pass unnoticed.
#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "sim_camera.h"
#include "sim_record.h"
#include "sim_repository.h"

namespace camlift::sim {

struct TScenario {
  std::string record;
  bool allow_wildcard = false;
  std::optional<TRepoConfig> repository;
  std::vector<TRepoAddOptions> firmware;
  std::vector<TCameraConfig> cameras;
};

// Throws std::runtime_error with a message that names the offending key.
TScenario ParseScenario(const nlohmann::json& json, const std::string& base_dir);
TScenario LoadScenario(const std::string& path);

// The extensions every camera gets (CTP on the shared port, search responders): the other
// sides of the simulator add their factories here.
std::vector<TCameraExtensionFactory> BuiltInCameraExtensions();

class TSimulator {
 public:
  TSimulator(TScenario scenario, std::shared_ptr<TSimRecorder> recorder,
             std::vector<TCameraExtensionFactory> extensions = BuiltInCameraExtensions());
  ~TSimulator();
  TSimulator(const TSimulator&) = delete;
  TSimulator& operator=(const TSimulator&) = delete;

  // Adds the scenario's firmware, starts the repository and every camera. On failure everything
  // started is stopped again and std::runtime_error is thrown.
  void Start();
  void Stop();
  // One line per listener, e.g. "camera front-door P 127.0.0.3:8081 upload 8600".
  std::vector<std::string> Describe() const;

  TSimRepository* repository() { return repository_.get(); }
  std::vector<std::unique_ptr<TSimCamera>>& cameras() { return cameras_; }

 private:
  TScenario scenario_;
  std::shared_ptr<TSimRecorder> recorder_;
  std::vector<TCameraExtensionFactory> extensions_;
  std::unique_ptr<TSimRepository> repository_;
  std::vector<std::unique_ptr<TSimCamera>> cameras_;
};

}  // namespace camlift::sim
