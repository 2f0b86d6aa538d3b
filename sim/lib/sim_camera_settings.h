// SPDX-License-Identifier: Apache-2.0
// The settings of a simulated camera, each declared once: the member of TCameraConfig, its
// scenario key (the member's name), its option of `camlift-sim camera` ("--" and the name with
// "-" for "_") and that option's help are all made from these rows. The series, the fault
// switches and the search dialects have tables of their own (sim_series.h, sim_faults.h,
// search_responder_ext.cpp).
#pragma once

#include <cstdint>
#include <string>

#include "discovery/search_datagrams.h"

namespace camlift::sim {

enum TCameraSettingFlag : unsigned {
  kSettingRequired = 1,     // the option must be given
  kSettingShowDefault = 2,  // the help shows the default
  kSettingPath = 4,         // in a scenario file: relative to the file's folder
};

}  // namespace camlift::sim

// X(type, member, default, option help, flags). reboot_ms is unscaled (CAMLIFT_TIME_SCALE
// applies); negative: SimWait::RebootTime (sim_timing.h). close_after_bytes: for the fault
// close-mid-upload. upload_rate is unscaled: a slow link or flash, for the progress of an upload.
// mac to dns: the identity the search responders and status pages report.
#define CAMLIFT_SIM_CAMERA_SETTINGS(X)                                                             \
  X(std::string, ip, "127.0.0.2", "Address to listen on", kSettingRequired)                        \
  X(int, port, 81, "HTTP port (0: any free port)", kSettingRequired)                               \
  X(int, upload_port, k8600Port, "Series R upload port", kSettingShowDefault)                      \
  X(std::string, name, "", "Name in the record", 0)                                                \
  X(std::string, user, "admin", "Account name", kSettingShowDefault)                               \
  X(std::string, password, "", "Password", 0)                                                      \
  X(std::string, sys_version, "1.0.0.1", "System firmware version", kSettingShowDefault)           \
  X(std::string, ui_version, "1.0.0.1", "UI firmware version", kSettingShowDefault)                \
  X(std::string, model, "SIM100", "Model (app_model)", kSettingShowDefault)                        \
  X(std::string, oem, "camlift", "OEM text (/oem.txt)", kSettingShowDefault)                       \
  X(int, reboot_ms, -1, "Time away after an upgrade, scaled by CAMLIFT_TIME_SCALE (default 8000)", \
    0)                                                                                             \
  X(std::uint64_t, close_after_bytes, 65536, "close-mid-upload: body bytes read before the reset", \
    kSettingShowDefault)                                                                           \
  X(std::uint64_t, upload_rate, 0, "Bytes per second an upload is read at (0: no limit)", 0)       \
  X(std::string, upload_dir, "", "Keep accepted uploads in this folder", kSettingPath)             \
  X(std::string, mac, "00:11:22:33:44:55", "", kSettingShowDefault)                                \
  X(std::string, device_id, "SIMCAM-000001", "", kSettingShowDefault)                              \
  X(std::string, device_name, "Camlift simulated camera", "", kSettingShowDefault)                 \
  X(std::string, search_ip, "",                                                                    \
    "Address the search replies name instead of ip (a forger: they still come from ip)", 0)        \
  X(std::string, netmask, "255.0.0.0", "", kSettingShowDefault)                                    \
  X(std::string, gateway, "127.0.0.1", "", kSettingShowDefault)                                    \
  X(std::string, dns, "127.0.0.1", "", kSettingShowDefault)
