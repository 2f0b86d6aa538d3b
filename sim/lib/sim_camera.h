// SPDX-License-Identifier: Apache-2.0
// A simulated camera: its web pages, its upload CGIs, its restart after an upgrade, the fault
// switches that make it misbehave on purpose (sim_faults.h), and extensions for its other sides.
// Where the series differ (which pages ask for the account and how, the quotes of the status
// page, the upload CGIs and the upload port, ...) the camera reads its series' profile row
// (sim_series.h); series K has no upload CGI and takes its firmware through its CTP extension on
// the shared port.
//
// Pages (values written as they are, no escaping):
//   "/oem.txt"         the OEM text, the whole body.
//   "/appver.js"       var app_model="MODEL";\nvar app_ver="v2.1.0.3";\n  - the profile's
//                      ui_version_prefix before the UI version (series R: none; its reader keeps
//                      every letter).
//   "/get_status.cgi"  var sys_ver='…'; var app_ver='…'; and a few more lines, in the profile's
//                      status_quote; also under the profile's status_alias.
// Accounts: as the profile's page_account ("/oem.txt" and "/appver.js" always, "/get_status.cgi"
// when status_needs_account) and upload_account; a wrong one is answered as its page_refusal
// (upload CGIs: 401 and the "Unauthorized" page, with the Basic challenge where they take Basic).
// Uploads (multipart/form-data, one part named "file"; the account is checked after the whole
// body has been read, so that the client always gets to read the answer): the profile's
// system_upload and ui_upload, on the HTTP port and, where upload_port, on the upload port.
//   Query values are percent-decoded before they are compared.
//   Answers: 200 and a restart when the part carries a simulated firmware file (sim_firmware.h)
//   of the camera's series and of the kind of the CGI; 400 for a malformed body or a firmware
//   file that does not fit (the camera keeps running); 401 for a wrong account.
// Restart: right after the 200 has gone out the camera closes every new connection, then stops
// listening on all its ports for reboot_ms (scaled by CAMLIFT_TIME_SCALE), then listens again
// and reports the uploaded version.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "discovery/search_datagrams.h"
#include "sim_camera_settings.h"
#include "sim_faults.h"
#include "sim_firmware.h"
#include "sim_http_server.h"
#include "sim_record.h"
#include "sim_series.h"

namespace camlift::sim {

struct TCameraConfig {
  TSimSeries series = TSimSeries::P;
  // The settings of sim_camera_settings.h. name: free text used in the record, by default
  // "<series>@ip:port"; port 0 and upload_port 0 (series R only): any free port (tests).
#define CAMLIFT_SIM_SETTING_MEMBER(type, member, value, help, flags) type member = value;
  CAMLIFT_SIM_CAMERA_SETTINGS(CAMLIFT_SIM_SETTING_MEMBER)
#undef CAMLIFT_SIM_SETTING_MEMBER
  std::set<TCameraFault> faults;
  // LAN search dialects the camera answers (search_responder_ext.h); empty: the profile's
  // search_dialect, which the camera fills in when it is made.
  std::vector<std::string> search_dialects;
  // Series K, a crowded site: the replies of that many other cameras go out before this
  // camera's own answer to a CTP search.
  int ctp_search_crowd = 0;
  bool has(TCameraFault f) const { return faults.count(f) != 0; }
};

// One row of CAMLIFT_SIM_CAMERA_SETTINGS, for the scenario reader and the command line.
struct TCameraSetting {
  const char* key;  // the scenario key
  std::variant<std::string TCameraConfig::*, int TCameraConfig::*, std::uint64_t TCameraConfig::*>
      member;
  const char* help;
  unsigned flags;  // TCameraSettingFlag
};
std::span<const TCameraSetting> CameraSettings();
// The option of `camlift-sim camera`: "--upload-port" for "upload_port".
std::string CameraSettingOption(const TCameraSetting& setting);

// What a camera reports right now.
struct TCameraState {
  std::string sys_version;
  std::string ui_version;
  bool up = false;   // listening
  int upgrades = 0;  // accepted uploads so far
};

class TSimCamera;
class TUploadFile;
struct TReceivedUpload;
struct TUploadReceipt;
struct TUploadVerdict;

// A UDP (or other) service that runs beside the web pages while the camera is up, e.g. the
// responders to the LAN search datagrams. Stopped when the camera goes away (restart, stop).
class ICameraService {
 public:
  virtual ~ICameraService() = default;
};

// Extension point for the other sides of a camera (CTP on the shared port, search responders).
// One instance per camera, made by the factories the simulator is given.
class ICameraExtension {
 public:
  virtual ~ICameraExtension() = default;
  // A protocol sharing the camera's HTTP port (checked on the first bytes of each connection).
  virtual std::shared_ptr<IPortProtocol> PortProtocol(TSimCamera&) { return nullptr; }
  // Started each time the camera has come up; destroyed when it goes away.
  virtual std::unique_ptr<ICameraService> StartService(TSimCamera&) { return nullptr; }
  // More pages on each of the camera's HTTP listeners (recorded like the built-in ones).
  virtual void AddRoutes(TSimCamera&, TSimHttpServer&) {}
};
using TCameraExtensionFactory = std::function<std::unique_ptr<ICameraExtension>(TSimCamera&)>;

class TSimCamera {
 public:
  TSimCamera(TCameraConfig config, std::shared_ptr<TSimRecorder> recorder,
             std::vector<TCameraExtensionFactory> extensions = {}, bool allow_wildcard = false);
  ~TSimCamera();
  TSimCamera(const TSimCamera&) = delete;
  TSimCamera& operator=(const TSimCamera&) = delete;

  // Opens the ports (unless not-listening). Throws std::runtime_error when one cannot be opened.
  void Start();
  // Closes everything and waits for the restart thread.
  void Stop();

  const TCameraConfig& config() const { return config_; }
  // Where the camera's services record what they receive (may be null).
  std::shared_ptr<TSimRecorder> recorder() const { return recorder_; }
  TCameraState state() const;
  // The ports actually listened on (after Start; port 0 in the config resolves here).
  int http_port() const { return http_port_; }
  int upload_port() const { return upload_port_; }
  // Blocks until the camera is up (true) or timeout_ms passed (false).
  bool WaitUntilUp(int timeout_ms) const;
  // Restarts the camera as an accepted upload does: new connections are closed at once, then
  // the ports close for reboot_ms and open again with the firmware's version (faults applied).
  // For extensions that take firmware over their own protocol (CTP).
  void BeginRestart(std::optional<TSimFirmwareInfo> firmware);
  // Restarts the camera on another address and HTTP port, as new network settings make it do:
  // the ports close for reboot_ms and open again there (port 0: any free port).
  void MoveTo(const std::string& ip, int port);
  // The page texts, also used by the search responders.
  std::string StatusPage() const;
  std::string AppVerPage() const;

 private:
  void OpenPorts();   // with mutex_ not held
  void ClosePorts();  // with mutex_ not held
  void SetupServer(TSimHttpServer& server);
  void Record(const httplib::Request& req, const httplib::Response& res);
  // The fields every record line of a request has.
  nlohmann::json RequestEntry(const httplib::Request& req, const TConnectionContext* context,
                              int status) const;
  // An upload CGI: ReceiveUpload reads the body, JudgeUpload (sim_upload_verdict.h) decides,
  // FinishUpload answers, records and starts the restart of an accepted file.
  void HandleUpload(const httplib::Request& req, httplib::Response& res,
                    const httplib::ContentReader& reader, TFirmwareKind kind);
  TUploadReceipt ReceiveUpload(const httplib::Request& req, const httplib::ContentReader& reader,
                               TUploadFile& file, TReceivedUpload& upload,
                               TConnectionContext* context);
  void FinishUpload(const httplib::Request& req, httplib::Response& res,
                    const TUploadReceipt& receipt, TReceivedUpload& upload,
                    const TUploadVerdict& verdict, TConnectionContext* context);
  void RecordUpload(const httplib::Request& req, const TUploadReceipt& receipt,
                    TReceivedUpload& upload, const TUploadVerdict& verdict,
                    TConnectionContext* context);
  // Wakes the restart thread (every restart goes through here, so none forgets to wake it).
  void RequestRestart();
  // The request's account as the series takes it (faults applied).
  bool AccountOk(const httplib::Request& req, TSimAccount account) const;
  // A page's answer to a wrong account, as the series gives it.
  void Refuse(httplib::Response& res) const;
  void RestartLoop();
  int RebootMillis() const;

  TCameraConfig config_;
  std::shared_ptr<TSimRecorder> recorder_;
  std::vector<std::unique_ptr<ICameraExtension>> extensions_;
  std::vector<std::unique_ptr<ICameraService>> services_;
  bool allow_wildcard_ = false;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  TCameraState state_;
  bool going_down_ = false;                  // an upload was accepted; new connections are closed
  std::optional<TSimFirmwareInfo> pending_;  // firmware to take over at the restart
  std::optional<std::pair<std::string, int>> pending_address_;  // address and port after it
  bool restart_requested_ = false;
  bool stopping_ = false;
  std::vector<std::unique_ptr<TSimListener>> listeners_;
  std::atomic<int> http_port_{0};
  std::atomic<int> upload_port_{0};
  std::thread restart_thread_;
  std::atomic<int> upload_counter_{0};
};

}  // namespace camlift::sim
