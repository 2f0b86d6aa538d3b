// SPDX-License-Identifier: Apache-2.0
// The configuration calls of TR730Series: the login check, the network settings datagram, the
// factory parameters, restoring the defaults, the Wi-Fi scan and the Wi-Fi and DDNS settings.
// Every value that goes into a query is percent-encoded; the cameras decode their queries.
#include <sys/socket.h>

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include "discovery/camera_page.h"
#include "discovery/dev_types.h"
#include "discovery/tools_net.h"
#include "platform/broadcast.h"
#include "platform/socket.h"
#include "platform/timing.h"
#include "r730/r730_pages.h"
#include "r730/r730_params.h"
#include "r730/r730_series.h"
#include "r730/r730_settings.h"
#include "util/percent_encoding.h"
#include "util/text.h"
#include "util/tools.h"

namespace camlift {
namespace {

// Cameras from this version on restore their defaults after new factory parameters; older ones
// take the network settings or a reboot instead.
constexpr const char* kFirstVersionWithDefaults = "48.2.0.121";
// Values go as the cameras' own tools send them: the SSID and WEP keys as typed (a key may
// begin or end with a blank), the other values trimmed.
std::string Enc(std::string_view value) { return PercentEncode(value); }
std::string EncTrim(std::string_view value) { return PercentEncode(TrimText(value)); }

bool Get(const std::string& url, std::string& text, Wait timeout, const std::string& user = "",
         const std::string& password = "") {
  return TTools::HttpGetText(url, text, Millis(timeout), user, password);
}

bool Contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

// The factory page's MAC form, with each pair encoded on its own so that the ":" stay as they are.
std::string EncMacPairs(std::string_view text) {
  // A MAC typed with separators ("00:1A:2B:...", as the search shows them) is the same MAC: cut
  // into pairs, its separators would shift every pair after the first.
  const std::optional<std::string> digits = MacDigits(text);
  const std::string pairs = MacPairs(digits ? *digits : text);
  std::string out;
  std::size_t start = 0;
  while (start <= pairs.size()) {
    std::size_t colon = pairs.find(':', start);
    if (colon == std::string::npos) colon = pairs.size();
    if (start > 0) out += ':';
    out += Enc(std::string_view(pairs).substr(start, colon - start));
    start = colon + 1;
  }
  return out;
}

}  // namespace

std::string TR730Series::BaseUrl() const {
  if (!device_) return "";
  std::string url = "http://" + device_->IPAddr;
  if (device_->DevPort != 80) url += ":" + std::to_string(device_->DevPort);
  return url;
}

TSettingsOutcome TR730Series::SetNetwork(const std::string&, std::uint16_t, const std::string& user,
                                         const std::string& password, const TDevInfo& wanted,
                                         const TDevInfo&, const TStopToken& stop) {
  const T8600SettingsResult request = Build8600Settings(wanted, user, password);
  if (request.bytes.empty()) return TSettingsOutcome::NotSent;
  TSocketHandle socket = MakeUdpSocket(true);
  if (!socket.valid()) return TSettingsOutcome::NotSent;
  // Cameras may answer to port 8600 itself. While another program holds that port the bind fails
  // and the answer comes back to the port the datagram went out from.
  BindUdp(socket.get(), k8600Port);
  if (!SendDatagram(socket.get(), BroadcastAddress(), k8600Port, request.bytes.data(),
                    request.bytes.size())) {
    return TSettingsOutcome::NotSent;
  }
  std::array<std::uint8_t, k8600SettingsReplySize> buffer{};
  // An answer that names another MAC (another camera's answer to somebody else's settings, or a
  // forgery) does not decide while ours may still come; if none comes, it is all there is.
  std::optional<TSettingsOutcome> other_camera;
  // The reply is waited for in short slices up to the limit: a camera (or a busy computer) that
  // takes longer than one slice still counts, and a steady stream of other datagrams on port
  // 8600 still does not hold the caller for ever.
  const auto limit = std::chrono::steady_clock::now() + Duration(Wait::R730SettingsReplyLimit);
  while (std::chrono::steady_clock::now() < limit && !stop.Requested()) {
    if (!WaitReadable(socket.get(), Millis(Wait::R730SettingsReplyWait))) continue;
    buffer.fill(0);
    const ssize_t n = ::recv(socket.get(), buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n <= 0) continue;
    bool taken = false;
    // Search queries and replies, and our own broadcast, arrive on port 8600 too.
    const std::span<const std::uint8_t> datagram(buffer.data(), static_cast<std::size_t>(n));
    if (!Parse8600SettingsReply(datagram, taken)) continue;
    const TSettingsOutcome outcome = taken ? TSettingsOutcome::Taken : TSettingsOutcome::Refused;
    // Factory parameters may have given the camera a new MAC (DevID) before these settings.
    if (SettingsReplyIsFor(datagram, wanted.NormID) ||
        SettingsReplyIsFor(datagram, NormalizeID(wanted.DevID))) {
      return outcome;
    }
    if (!other_camera) other_camera = outcome;
  }
  if (stop.Requested()) return TSettingsOutcome::NoAnswer;
  return other_camera.value_or(TSettingsOutcome::NoAnswer);
}

bool TR730Series::CheckLogin(const std::string& base_url, const std::string& user,
                             const std::string& password) {
  std::string text;
  return Get(base_url + "/get_params.cgi?" + UserPwdQuery(user, password), text,
             Wait::R730ConfigRead) &&
         !PageRefusesAccount(text);
}

bool TR730Series::SetFactoryParams(const std::string& user, const std::string& password,
                                   const TDevInfo& current, const TDevInfo& wanted,
                                   const std::string& wifi_mac) {
  if (!device_) return false;
  const std::string url = BaseUrl() + "/set_factory_param.cgi?" + UserPwdQuery(user, password) +
                          "&mac=" + EncMacPairs(wanted.DevID) +
                          "&wifimac=" + EncMacPairs(wifi_mac) + "&heartbeat=180";
  std::string text;
  // A camera that refuses the account still answers; going on would report success for
  // parameters it never took.
  const bool ok = Get(url, text, Wait::R730ConfigWrite) && !PageRefusesAccount(text);
  if (!ok) return false;
  // Byte-wise text order, as the cameras' own tools compare versions.
  if (device_->Version < kFirstVersionWithDefaults) {
    if (current.IPAddr != wanted.IPAddr || current.DevPort != wanted.DevPort) {
      return SetNetwork(wanted.IPAddr, wanted.DevPort, user, password, wanted, current) ==
             TSettingsOutcome::Taken;
    }
    // The camera restarts with its new parameters; whether the page answers does not matter.
    std::string reboot;
    TTools_Net::HttpGet(BaseUrl() + "/reboot.cgi?" + LoginQuery(user, password), reboot,
                        Millis(Wait::R730ConfigWrite), "", "");
    return true;
  }
  RestoreDefaults(user, password);
  return true;
}

bool TR730Series::RestoreDefaults(const std::string& user, const std::string& password) {
  if (!device_) return false;
  std::string text;
  return Get(BaseUrl() + "/set_default.cgi?&" + LoginQuery(user, password), text,
             Wait::R730ConfigWrite) &&
         Contains(LowerAscii(text), "ok");
}

std::int32_t TR730Series::ScanWifi(const std::string& user, const std::string& password,
                                   std::vector<TWiFiEntry>& list) {
  list.clear();
  if (!device_) return -1;
  // The port is always written and the pages start with "/" again: the cameras take the double
  // slash as it comes.
  const std::string base =
      "Http://" + device_->IPAddr + ":" + std::to_string(device_->DevPort) + "/";
  const std::string account = "?" + UserPwdQuery(user, password);
  std::string text;
  if (!Get(base + "/wifi_scan.cgi" + account, text, Wait::R730ConfigRead) ||
      !Contains(text, "ok")) {
    return -1;
  }
  std::this_thread::sleep_for(Duration(Wait::R730ScanPause));
  if (!Get(base + "/get_wifi_scan_result.cgi" + account, text, Wait::R730ConfigRead) ||
      !Contains(text, "var")) {
    return -1;
  }
  return ParseWifiScanResult(text, list);
}

TWiFiParams* TR730Series::ReadWifi(const std::string& user, const std::string& password) {
  if (wifi_params_) return wifi_params_.get();
  if (!device_) return nullptr;
  wifi_params_ = std::make_unique<TWiFiParams>();
  std::string text;
  if (!Get(BaseUrl() + "/get_params.cgi?" + UserPwdQuery(user, password), text,
           Wait::R730ConfigReadLong)) {
    return wifi_params_.get();
  }
  // The empty record stays made: later calls return it without asking again.
  if (!Contains(text, "var")) return nullptr;
  *wifi_params_ = ParseWifiParams(text);
  return wifi_params_.get();
}

std::int32_t TR730Series::WriteWifi(const std::string& user, const std::string& password) {
  if (!device_ || !wifi_params_) return 0;
  const TWiFiParams& p = *wifi_params_;
  const auto n = [](std::int32_t value) { return std::to_string(value); };
  const std::string url =
      BaseUrl() + "/set_wifi.cgi?next_url=rebootme.htm&" + UserPwdQuery(user, password) +
      "&channel=5" + "&enable=" + n(p.Enable) + "&ssid=" + Enc(p.SSID) + "&mode=" + n(p.Mode) +
      "&encrypt=" + n(p.Encrypt) + "&authtype=" + n(p.AuthType) + "&keyformat=" + n(p.KeyFormat) +
      "&defkey=" + n(p.DefKey) + "&key1=" + Enc(p.Key1) + "&key2=" + Enc(p.Key2) +
      "&key3=" + Enc(p.Key3) + "&key4=" + Enc(p.Key4) + "&key1_bits=" + n(p.Key1Bits) +
      "&key2_bits=" + n(p.Key2Bits) + "&key3_bits=" + n(p.Key3Bits) +
      "&key4_bits=" + n(p.Key4Bits) + "&wpa_psk=" + EncTrim(p.WpaPsk);
  std::string text;
  if (!Get(url, text, Wait::R730ConfigReadLong) || !Contains(text, "reboot")) return 0;
  return Get(BaseUrl() + "/reboot.cgi?next_url=reboot.htm", text, Wait::R730ConfigReadLong, user,
             password)
             ? 1
             : 2;
}

TDdnsParams* TR730Series::ReadDdns(const std::string& user, const std::string& password,
                                   bool use_cached) {
  if (ddns_params_ && use_cached) return ddns_params_.get();
  if (!ddns_params_) ddns_params_ = std::make_unique<TDdnsParams>();
  if (!device_) {
    ddns_params_->Status = kDdnsRequestFailed;
    return ddns_params_.get();
  }
  std::string text;
  if (!Get(BaseUrl() + "/get_params.cgi?" + UserPwdQuery(user, password, TAccountText::AsTyped),
           text, Wait::R730ConfigRead)) {
    ddns_params_->Status = kDdnsRequestFailed;
  } else if (!Contains(text, "var")) {
    ddns_params_->Status = kDdnsNoVars;
  } else {
    ParseDdnsParams(text, *ddns_params_);
  }
  return ddns_params_.get();
}

std::uint8_t TR730Series::WriteDdns(const std::string& user, const std::string& password) {
  if (!device_ || !ddns_params_) return 2;
  const TDdnsParams& p = *ddns_params_;
  const std::string url =
      BaseUrl() + "/set_ddns.cgi?service=11&" + UserPwdQuery(p.User, p.Password) +
      "&host=&proxy_svr=" + EncTrim(p.ProxyServer) + "&proxy_port=" + EncTrim(p.ProxyPort) +
      "&restart_dyndns=&" + LoginQuery(user, password);
  std::string text;
  if (!Get(url, text, Wait::R730ConfigReadLong)) return 2;
  return Contains(text, "ok") ? 0 : 1;
}

}  // namespace camlift
