// SPDX-License-Identifier: Apache-2.0
// The configuration side of a simulated series R camera: its CGI pages for the login check, the
// Wi-Fi scan and settings, the DDNS settings, the factory parameters, restoring the defaults and
// the reboot, and its answer to the 8600 settings datagram (which can move the camera to a new
// address). Every request and datagram lands in the camera's record.
//
// Pages (the account in the query as user/pwd, except where noted; a wrong account is answered
// with the text "Auth Failed" and nothing else):
//   "/get_params.cgi"             var wifi_*=…; and var ddns_*=…; lines
//   "/wifi_scan.cgi"              "ok"
//   "/get_wifi_scan_result.cgi"   var ap_number=N; then ap_ssid[n], ap_mac[n], ap_security[n],
//                                 ap_dbm0[n], ap_dbm1[n], ap_mode[n] for each access point
//   "/set_wifi.cgi"               stores the Wi-Fi settings; a page that sends to rebootme.htm
//   "/set_ddns.cgi"               user/pwd/proxy_svr/proxy_port are the DDNS account; the camera's
//                                 account is loginuse/loginpas; answers "ok"
//   "/set_factory_param.cgi"      stores mac, wifimac and heartbeat; answers "ok"
//   "/set_default.cgi"            loginuse/loginpas; restores the settings the camera started
//                                 with; answers the configured text ("ok")
//   "/reboot.cgi"                 loginuse/loginpas or Basic authentication; answers, then the
//                                 camera restarts as after an upgrade
// Datagram (UDP 8600, 0x4844 0x0102, 324 bytes): answered only by the camera whose MAC it
// carries at offset 84, with 328 bytes 0x4844 0x0802 holding 0x8000 at offset 324 when the
// account at 236/268 is right and the new address can be used on this host (else 0). A taken
// datagram whose address or port differs from the camera's moves the camera there.
// Only cameras whose profile has config_calls (series R, sim_series.h) get these sides.
// The faults of this side are declared in r730_faults.h and acted out here.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "search_responder.h"
#include "sim_camera.h"

namespace camlift::sim {

struct TSimAccessPoint {
  std::string ssid;
  std::string mac;
  int security = 0;
  std::string dbm0;
  std::string dbm1;
  int mode = 0;
};

struct TR730SimSettings {
  int wifi_enable = 1;
  std::string wifi_ssid = "camlift-lab";
  int wifi_mode = 0;
  int wifi_encrypt = 4;
  int wifi_authtype = 0;
  int wifi_defkey = 0;
  int wifi_keyformat = 0;
  std::array<std::string, 4> wifi_key{};
  std::array<int, 4> wifi_key_bits{};
  std::string wifi_wpa_psk = "lab-passphrase";
  std::string ddns_service = "11";
  std::string ddns_proxy_svr = "ddns.camlift.invalid";
  std::string ddns_proxy_port = "8080";
  std::string ddns_user = "labcam";
  std::string ddns_pwd = "ddns-secret";
  std::vector<TSimAccessPoint> access_points{
      {"camlift-lab", "00:0A:0B:0C:0D:01", 4, "-42", "-45", 0},
      {"guest net", "00:0A:0B:0C:0D:02", 0, "-71", "-73", 0}};
  // Set by the pages.
  std::string factory_mac;
  std::string factory_wifimac;
  std::string heartbeat;
  int reboots = 0;
  int defaults_restored = 0;
  // From the last settings datagram the camera took.
  std::string netmask, gateway, dns1, dns2, name;
  bool dhcp = false;
};

// What makes the pages and the datagram answer misbehave on purpose: the camera's faults
// (r730_faults.h; the extension takes those of the camera's configuration when it is made) and
// the answer of "/set_default.cgi".
struct TR730SimBehaviour {
  std::set<TCameraFault> faults;
  std::string default_answer = "ok";
  bool has(TCameraFault f) const { return faults.count(f) != 0; }
};

// Shared by the camera's pages and the test or scenario that set it up.
class TR730SimState {
 public:
  TR730SimState() = default;
  explicit TR730SimState(TR730SimSettings settings) : initial_(settings), now_(settings) {}

  TR730SimSettings Settings() const;
  TR730SimBehaviour Behaviour() const;
  void SetBehaviour(TR730SimBehaviour behaviour);
  template <class F>
  void Update(F&& change) {
    std::lock_guard lock(mutex_);
    change(now_);
  }
  void RestoreDefaults();

 private:
  mutable std::mutex mutex_;
  TR730SimSettings initial_;
  TR730SimSettings now_;
  TR730SimBehaviour behaviour_;
};

std::string R730ParamsPage(const TR730SimSettings& settings);
std::string R730ScanResultPage(const std::vector<TSimAccessPoint>& access_points);
// The answers of camera to one datagram on port 8600 (none for anything but a settings
// datagram carrying its MAC); applies the settings it takes.
std::vector<TBytes> AnswerR730Settings(TSimCamera& camera, TR730SimState& state,
                                       std::span<const std::uint8_t> datagram);

// The extension with a state of the caller's (tests); only cameras with config_calls use it. The
// camera's faults are added to the state's behaviour when the extension is made.
TCameraExtensionFactory R730ConfigExtension(std::shared_ptr<TR730SimState> state);
// The extension with the default state (the simulator's built-in list).
std::unique_ptr<ICameraExtension> MakeR730ConfigExtension(TSimCamera& camera);

}  // namespace camlift::sim
