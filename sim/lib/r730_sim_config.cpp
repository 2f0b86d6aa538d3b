// SPDX-License-Identifier: Apache-2.0
#include "r730_sim_config.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <iostream>
#include <optional>

#include "discovery/search_datagrams.h"
#include "platform/broadcast.h"
#include "platform/socket.h"
#include "util/base64.h"

namespace camlift::sim {
namespace {

constexpr std::size_t kSettingsSize = 324;
constexpr std::size_t kReplySize = 328;
constexpr const char* kAuthFailed = "Auth Failed";

// Where the camera takes the account of a page from.
enum class TAccount { UserPwd, LoginUse, LoginUseOrBasic };

std::uint16_t U16(std::span<const std::uint8_t> d, std::size_t at) {
  return at + 1 < d.size() ? static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8)) : 0;
}

std::string Text(std::span<const std::uint8_t> d, std::size_t at, std::size_t width) {
  std::string out;
  for (std::size_t i = at; i < at + width && i < d.size() && d[i] != 0; ++i) {
    out += static_cast<char>(d[i]);
  }
  return out;
}

std::string HexText(std::span<const std::uint8_t> bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const std::uint8_t b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

bool AccountOk(const TSimCamera& camera, const httplib::Request& req, TAccount style) {
  const TCameraConfig& config = camera.config();
  if (config.has(TCameraFault::RejectAccount)) return false;
  const auto query = [&](const char* user_key, const char* password_key) {
    return req.has_param(user_key) && req.get_param_value(user_key) == config.user &&
           req.get_param_value(password_key) == config.password;
  };
  switch (style) {
    case TAccount::UserPwd:
      return query("user", "pwd");
    case TAccount::LoginUse:
      return query("loginuse", "loginpas");
    case TAccount::LoginUseOrBasic:
      break;
  }
  if (req.has_param("loginuse")) return query("loginuse", "loginpas");
  return req.get_header_value("Authorization") ==
         "Basic " + Base64EncodeOneLine(config.user + ":" + config.password);
}

int IntParam(const httplib::Request& req, const char* key, int fallback) {
  try {
    return req.has_param(key) ? std::stoi(req.get_param_value(key)) : fallback;
  } catch (const std::exception&) {
    return fallback;
  }
}

std::string Param(const httplib::Request& req, const char* key, const std::string& fallback) {
  return req.has_param(key) ? req.get_param_value(key) : fallback;
}

// True when this host can listen on ip, so that a camera moved there can come back.
bool UsableAddress(const std::string& ip) {
  const std::optional<std::uint32_t> address = ParseDottedIPv4(ip);
  if (!address) return false;
  TSocketHandle probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = *address;
  return probe.valid() &&
         ::bind(probe.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

class TSettingsService final : public ICameraService {
 public:
  std::unique_ptr<TSearchResponder> responder;
};

class TR730ConfigExtension final : public ICameraExtension {
 public:
  TR730ConfigExtension(std::shared_ptr<TR730SimState> state, const TSimCamera& camera)
      : state_(std::move(state)) {
    TR730SimBehaviour behaviour = state_->Behaviour();
    behaviour.faults.insert(camera.config().faults.begin(), camera.config().faults.end());
    state_->SetBehaviour(std::move(behaviour));
  }

  std::unique_ptr<ICameraService> StartService(TSimCamera& camera) override {
    if (!ProfileOf(camera.config().series).config_calls) return nullptr;
    auto service = std::make_unique<TSettingsService>();
    service->responder = std::make_unique<TSearchResponder>(
        "8600-settings", k8600Port,
        [&camera, state = state_](std::span<const std::uint8_t> datagram) {
          return AnswerR730Settings(camera, *state, datagram);
        },
        camera.recorder(), camera.config().name);
    try {
      service->responder->Start();
    } catch (const std::exception& e) {
      std::cerr << "camlift-sim: camera " << camera.config().name << ": " << e.what() << "\n";
      return nullptr;
    }
    return service;
  }

  void AddRoutes(TSimCamera& camera, TSimHttpServer& server) override {
    if (!ProfileOf(camera.config().series).config_calls) return;
    // The cameras take a path with extra slashes in front ("//wifi_scan.cgi") as the page.
    const auto page = [&camera, &server](std::string path, TAccount account, auto body) {
      std::string pattern = "/+";
      for (const char c : path.substr(1)) {
        if (c == '.') pattern += '\\';
        pattern += c;
      }
      server.Get(pattern,
                 [&camera, account, body](const httplib::Request& req, httplib::Response& res) {
                   if (!AccountOk(camera, req, account)) {
                     res.set_content(kAuthFailed, "text/plain");
                     return;
                   }
                   body(req, res);
                 });
    };
    const std::shared_ptr<TR730SimState> state = state_;
    page("/get_params.cgi", TAccount::UserPwd,
         [state](const httplib::Request&, httplib::Response& res) {
           res.set_content(R730ParamsPage(state->Settings()), "text/plain");
         });
    page("/wifi_scan.cgi", TAccount::UserPwd,
         [state](const httplib::Request&, httplib::Response& res) {
           const bool refused = state->Behaviour().has(TCameraFault::WifiScanRefused);
           res.set_content(refused ? "error" : "ok", "text/plain");
         });
    page("/get_wifi_scan_result.cgi", TAccount::UserPwd,
         [state](const httplib::Request&, httplib::Response& res) {
           if (state->Behaviour().has(TCameraFault::WifiScanResultDrops)) {
             if (TConnectionContext* context = CurrentConnection()) context->abort = true;
             res.status = 500;
             return;
           }
           res.set_content(R730ScanResultPage(state->Settings().access_points), "text/plain");
         });
    page("/set_wifi.cgi", TAccount::UserPwd,
         [state](const httplib::Request& req, httplib::Response& res) {
           state->Update([&](TR730SimSettings& s) {
             s.wifi_enable = IntParam(req, "enable", s.wifi_enable);
             s.wifi_ssid = Param(req, "ssid", s.wifi_ssid);
             s.wifi_mode = IntParam(req, "mode", s.wifi_mode);
             s.wifi_encrypt = IntParam(req, "encrypt", s.wifi_encrypt);
             s.wifi_authtype = IntParam(req, "authtype", s.wifi_authtype);
             s.wifi_keyformat = IntParam(req, "keyformat", s.wifi_keyformat);
             s.wifi_defkey = IntParam(req, "defkey", s.wifi_defkey);
             for (std::size_t i = 0; i < 4; ++i) {
               const std::string key = "key" + std::to_string(i + 1);
               s.wifi_key[i] = Param(req, key.c_str(), s.wifi_key[i]);
               s.wifi_key_bits[i] = IntParam(req, (key + "_bits").c_str(), s.wifi_key_bits[i]);
             }
             s.wifi_wpa_psk = Param(req, "wpa_psk", s.wifi_wpa_psk);
           });
           const std::string next = Param(req, "next_url", "rebootme.htm");
           res.set_content("<html><head><meta http-equiv=\"refresh\" content=\"0; url=/" + next +
                               "\"></head><body></body></html>\n",
                           "text/html");
         });
    page("/set_ddns.cgi", TAccount::LoginUse,
         [state](const httplib::Request& req, httplib::Response& res) {
           state->Update([&](TR730SimSettings& s) {
             s.ddns_service = Param(req, "service", s.ddns_service);
             s.ddns_user = Param(req, "user", s.ddns_user);
             s.ddns_pwd = Param(req, "pwd", s.ddns_pwd);
             s.ddns_proxy_svr = Param(req, "proxy_svr", s.ddns_proxy_svr);
             s.ddns_proxy_port = Param(req, "proxy_port", s.ddns_proxy_port);
           });
           res.set_content("ok", "text/plain");
         });
    page("/set_factory_param.cgi", TAccount::UserPwd,
         [state](const httplib::Request& req, httplib::Response& res) {
           state->Update([&](TR730SimSettings& s) {
             s.factory_mac = Param(req, "mac", "");
             s.factory_wifimac = Param(req, "wifimac", "");
             s.heartbeat = Param(req, "heartbeat", "");
           });
           res.set_content("ok", "text/plain");
         });
    page("/set_default.cgi", TAccount::LoginUse,
         [state](const httplib::Request&, httplib::Response& res) {
           state->RestoreDefaults();
           const TR730SimBehaviour behaviour = state->Behaviour();
           res.set_content(behaviour.has(TCameraFault::RestoreDefaultsRefused)
                               ? "error"
                               : behaviour.default_answer,
                           "text/plain");
         });
    page("/reboot.cgi", TAccount::LoginUseOrBasic,
         [state, &camera](const httplib::Request&, httplib::Response& res) {
           state->Update([](TR730SimSettings& s) { ++s.reboots; });
           res.set_content("<html><body>The camera restarts now.</body></html>\n", "text/html");
           // The answer goes out first, then the camera goes away as after an upgrade.
           if (TConnectionContext* context = CurrentConnection()) {
             context->after_close = [&camera] { camera.BeginRestart(std::nullopt); };
           } else {
             camera.BeginRestart(std::nullopt);
           }
         });
  }

 private:
  std::shared_ptr<TR730SimState> state_;
};

}  // namespace

TR730SimSettings TR730SimState::Settings() const {
  std::lock_guard lock(mutex_);
  return now_;
}

TR730SimBehaviour TR730SimState::Behaviour() const {
  std::lock_guard lock(mutex_);
  return behaviour_;
}

void TR730SimState::SetBehaviour(TR730SimBehaviour behaviour) {
  std::lock_guard lock(mutex_);
  behaviour_ = std::move(behaviour);
}

void TR730SimState::RestoreDefaults() {
  std::lock_guard lock(mutex_);
  TR730SimSettings restored = initial_;
  restored.factory_mac = now_.factory_mac;
  restored.factory_wifimac = now_.factory_wifimac;
  restored.heartbeat = now_.heartbeat;
  restored.reboots = now_.reboots;
  restored.defaults_restored = now_.defaults_restored + 1;
  now_ = std::move(restored);
}

std::string R730ParamsPage(const TR730SimSettings& s) {
  std::string page;
  const auto var = [&page](const std::string& name, const std::string& value) {
    page += "var " + name + "=" + value + ";\r\n";
  };
  const auto text = [&var](const std::string& name, const std::string& value) {
    var(name, "\"" + value + "\"");
  };
  text("alias", "camlift");
  var("wifi_enable", std::to_string(s.wifi_enable));
  text("wifi_ssid", s.wifi_ssid);
  var("wifi_mode", std::to_string(s.wifi_mode));
  var("wifi_encrypt", std::to_string(s.wifi_encrypt));
  var("wifi_authtype", std::to_string(s.wifi_authtype));
  var("wifi_defkey", std::to_string(s.wifi_defkey));
  var("wifi_keyformat", std::to_string(s.wifi_keyformat));
  for (std::size_t i = 0; i < 4; ++i) text("wifi_key" + std::to_string(i + 1), s.wifi_key[i]);
  for (std::size_t i = 0; i < 4; ++i) {
    var("wifi_key" + std::to_string(i + 1) + "_bits", std::to_string(s.wifi_key_bits[i]));
  }
  text("wifi_wpa_psk", s.wifi_wpa_psk);
  var("ddns_service", s.ddns_service);
  text("ddns_proxy_svr", s.ddns_proxy_svr);
  var("ddns_proxy_port", s.ddns_proxy_port);
  text("ddns_user", s.ddns_user);
  text("ddns_pwd", s.ddns_pwd);
  return page;
}

std::string R730ScanResultPage(const std::vector<TSimAccessPoint>& access_points) {
  std::string page = "var ap_number=" + std::to_string(access_points.size()) + ";\r\n";
  for (std::size_t n = 0; n < access_points.size(); ++n) {
    const TSimAccessPoint& ap = access_points[n];
    const std::string i = "[" + std::to_string(n) + "]";
    page += "var ap_ssid" + i + "=\"" + ap.ssid + "\";\r\n";
    page += "var ap_mac" + i + "=\"" + ap.mac + "\";\r\n";
    page += "var ap_security" + i + "=" + std::to_string(ap.security) + ";\r\n";
    page += "var ap_dbm0" + i + "='" + ap.dbm0 + "';\r\n";
    page += "var ap_dbm1" + i + "='" + ap.dbm1 + "';\r\n";
    page += "var ap_mode" + i + "=" + std::to_string(ap.mode) + ";\r\n";
  }
  return page;
}

std::vector<TBytes> AnswerR730Settings(TSimCamera& camera, TR730SimState& state,
                                       std::span<const std::uint8_t> datagram) {
  if (datagram.size() < kSettingsSize || U16(datagram, 0) != 0x4844 || U16(datagram, 2) != 0x0102) {
    return {};
  }
  const TCameraConfig& config = camera.config();
  std::array<std::uint8_t, 6> mac{};
  ParseMacText(config.mac, mac);
  if (!std::equal(mac.begin(), mac.end(), datagram.begin() + 84)) return {};
  const TR730SimBehaviour behaviour = state.Behaviour();

  const std::string ip = Text(datagram, 4, 16);
  const std::uint16_t port = U16(datagram, 90);
  const bool account = !config.has(TCameraFault::RejectAccount) &&
                       Text(datagram, 236, 32) == config.user &&
                       Text(datagram, 268, 33) == config.password;
  // A silent camera hears the datagram (it is recorded) but neither takes nor answers it.
  const bool silent = behaviour.has(TCameraFault::NetworkSettingsSilent);
  const bool taken = account && !silent && !behaviour.has(TCameraFault::NetworkSettingsRefused) &&
                     port != 0 && UsableAddress(ip);

  TBytes reply(kReplySize, 0);
  reply[0] = 0x44;
  reply[1] = 0x48;
  reply[2] = 0x02;
  reply[3] = 0x08;
  PutText(reply, 4, 16, taken ? ip : config.ip);
  std::copy(mac.begin(), mac.end(), reply.begin() + 84);
  reply[90] = static_cast<std::uint8_t>((taken ? port : camera.http_port()) & 0xFF);
  reply[91] = static_cast<std::uint8_t>((taken ? port : camera.http_port()) >> 8);
  if (taken) {
    reply[324 + 1] = 0x80;  // 0x8000, little-endian
    state.Update([&](TR730SimSettings& s) {
      s.netmask = Text(datagram, 20, 16);
      s.gateway = Text(datagram, 36, 16);
      s.dns1 = Text(datagram, 52, 16);
      s.dns2 = Text(datagram, 68, 16);
      s.name = Text(datagram, 124, 80);
      s.dhcp = datagram[301] != 0;
    });
  }
  // Recorded before the answer goes out, so that a client that has its answer finds the line.
  if (auto recorder = camera.recorder()) {
    recorder->Append({{"role", "camera"},
                      {"name", config.name},
                      {"series", SeriesText(config.series)},
                      {"protocol", "udp"},
                      {"dialect", "8600-settings"},
                      {"event", "network-settings"},
                      {"taken", taken},
                      {"ip", ip},
                      {"port", port},
                      {"size", datagram.size()},
                      {"datagram", HexText(datagram)}});
  }
  if (taken && (ip != config.ip || port != camera.http_port())) camera.MoveTo(ip, port);
  if (silent) return {};

  std::vector<TBytes> answers;
  if (behaviour.has(TCameraFault::NetworkSettingsNoise)) {
    TBytes search_reply(516, 0);
    search_reply[0] = 0x44;
    search_reply[1] = 0x48;
    search_reply[2] = 0x01;
    search_reply[3] = 0x08;
    answers.push_back(std::move(search_reply));
    answers.push_back(TBytes{'n', 'o', 'i', 's', 'e'});
  }
  answers.push_back(std::move(reply));
  return answers;
}

TCameraExtensionFactory R730ConfigExtension(std::shared_ptr<TR730SimState> state) {
  return [state](TSimCamera& camera) -> std::unique_ptr<ICameraExtension> {
    return std::make_unique<TR730ConfigExtension>(state, camera);
  };
}

std::unique_ptr<ICameraExtension> MakeR730ConfigExtension(TSimCamera& camera) {
  return std::make_unique<TR730ConfigExtension>(std::make_shared<TR730SimState>(), camera);
}

}  // namespace camlift::sim
