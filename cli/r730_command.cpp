// SPDX-License-Identifier: Apache-2.0
// camlift r730: the configuration calls of series R cameras on the command line (login check,
// network settings, factory parameters, defaults, Wi-Fi scan and settings, DDNS settings).
// The camera is named by --ip/--port or picked by --mac from a series R search.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli_session.h"
#include "command_registry.h"
#include "discovery/account_scope.h"
#include "discovery/dev_types.h"
#include "discovery/search_datagrams.h"
#include "i18n/str_res.h"
#include "password_option.h"
#include "platform/dispatcher.h"
#include "r730/network_change.h"
#include "r730/network_settings_check.h"
#include "r730/r730_params.h"
#include "r730/r730_search.h"
#include "r730/r730_series.h"
#include "r730/r730_settings.h"
#include "util/text_fields.h"

namespace camlift::cli {
namespace {

constexpr const char* kHidden = "(hidden)";

// Settings a subcommand may change; unset ones keep the camera's value.
struct TNetworkChanges {
  std::optional<std::string> ip, netmask, gateway, dns1, dns2, name, dhcp;
  std::optional<int> port;
};

struct TWifiChanges {
  std::optional<int> enable, mode, encrypt, auth_type, def_key, key_format;
  std::optional<std::string> ssid, wpa_psk;
  std::array<std::optional<std::string>, 4> keys;
  std::array<std::optional<int>, 4> key_bits;
};

struct TDdnsChanges {
  std::optional<std::string> user, password, proxy_server, proxy_port;
};

struct TR730Options {
  std::string ip;
  int port = 81;
  bool port_given = false;
  std::string user = "admin";
  std::string password;  // resolved from the password options when the command line is read
  std::string mac;
  bool json = false;
  bool show_secrets = false;
  std::string firmware_version;
  TNetworkChanges network;
  std::string device_mac;
  std::string wifi_mac;
  TWifiChanges wifi;
  TDdnsChanges ddns;
};

// A camera's text in JSON (escaped there) and in a line of text (cleaned: no escape sequence or
// line break of the camera's reaches the terminal).
std::string Utf8(const std::string& text) { return ToValidUtf8(text); }
std::string Shown(const std::string& text) { return ShownText(text); }

nlohmann::json Secret(const TR730Options& o, const std::string& value) {
  return o.show_secrets ? nlohmann::json(Utf8(value)) : nlohmann::json(nullptr);
}
std::string SecretText(const TR730Options& o, const std::string& value) {
  return o.show_secrets || value.empty() ? Shown(value) : kHidden;
}

int Fail(const TR730Options& o, const std::string& message, nlohmann::json extra = {}) {
  if (o.json) {
    nlohmann::json out = extra.is_object() ? std::move(extra) : nlohmann::json::object();
    out["ok"] = false;
    out["error"] = message;
    std::cout << out.dump() << "\n";
  } else {
    std::cerr << "camlift r730: " << message << "\n";
  }
  return kExitFailed;
}

int Usage(const std::string& message) {
  std::cerr << "camlift r730: " << message << "\n";
  return kExitUsage;
}

int Done(const TR730Options& o, const std::string& message, nlohmann::json extra = {}) {
  if (o.json) {
    nlohmann::json out = extra.is_object() ? std::move(extra) : nlohmann::json::object();
    out["ok"] = true;
    std::cout << out.dump() << "\n";
  } else {
    std::cout << message << "\n";
  }
  return kExitOk;
}

// A MAC address option: 12 hex digits, or six pairs joined by ":" or "-".
CLI::Validator MacAddress() {
  return CLI::Validator(
      [](std::string& value) {
        return MacDigits(value) ? std::string()
                                : "expected a MAC address: 12 hexadecimal digits, or six pairs "
                                  "joined by \":\" or \"-\"";
      },
      "MAC");
}

// One series R search (two passes when the first finds nothing): the camera whose MAC is mac,
// or else whose address is ip.
std::optional<TDevInfo> Search(const std::string& mac, const std::string& ip) {
  TLoopDispatcher ui;
  std::optional<TDevInfo> found;
  const std::string wanted = NormalizeID(mac);
  for (int pass = 0; pass < 2 && !found; ++pass) {
    R730Client().SearchDevices(k8600Port, HandOffToUi(ui, [&](const TDevInfo& d) {
                                 const bool match = !wanted.empty() ? NormalizeID(d.DevID) == wanted
                                                                    : d.IPAddr == ip;
                                 if (match && !found) found = d;
                               }));
    WaitR730SearchesDone(ui);
  }
  return found;
}

// The camera record the calls work on. need_search: the call needs what only the search
// reports (MAC, version, network settings).
std::optional<TDevInfo> PickCamera(const TR730Options& o, bool need_search, std::string& error) {
  if (!o.mac.empty() || need_search) {
    std::optional<TDevInfo> found = Search(o.mac, o.ip);
    if (!found) {
      error = !o.mac.empty() ? "no series R camera with MAC " + o.mac + " answered the search"
                             : "no series R camera at " + o.ip + " answered the search";
    }
    if (found && !o.mac.empty()) {
      // The address came from the search reply of that MAC: the account goes there only when
      // the account rule lets it (the reply came from that address, on one of our networks).
      const TAccountVerdict verdict = AccountVerdictFor(*found, ListIPv4Interfaces());
      if (!verdict.Sent()) {
        error = "the camera with MAC " + o.mac + " names the address " + Shown(found->IPAddr) +
                ": account not sent: " + AccountWithheldText(verdict);
        return std::nullopt;
      }
    }
    if (found && !o.firmware_version.empty()) found->Version = o.firmware_version;
    return found;
  }
  TDevInfo d;
  d.DevType = kType8600;
  d.IPAddr = o.ip;
  d.DevPort = static_cast<std::uint16_t>(o.port);
  return d;
}

std::string BaseUrl() { return dynamic_cast<TR730Series&>(R730Client()).BaseUrl(); }

// The settings to send: the camera's own as its search reply gave them, as they were, with what
// the options change; a typed address goes out plainly (a leading zero could read as octal).
// Address options and DHCP on do not go together: the camera would take its address from DHCP
// and the typed one would be lost without a word.
std::optional<TDevInfo> WantedSettings(const TNetworkChanges& c, const TDevInfo& current,
                                       std::string& error) {
  TDevInfo wanted = current;
  if (c.dhcp) wanted.DhcpFlag = *c.dhcp == "on" ? 1 : 2;
  if (wanted.DhcpFlag == 1 && (c.ip || c.netmask || c.gateway || c.dns1 || c.dns2)) {
    error = c.dhcp ? "--new-ip, --netmask, --gateway, --dns1 and --dns2 do not go with --dhcp on"
                   : "the camera takes its address from DHCP: add --dhcp off to set one";
    return std::nullopt;
  }
  if (c.ip) wanted.IPAddr = PlainAddress(*c.ip);
  if (c.netmask) wanted.Netmask = PlainAddress(*c.netmask);
  if (c.gateway) wanted.Gateway = PlainAddress(*c.gateway);
  if (c.dns1) wanted.DNS1 = PlainAddress(*c.dns1);
  if (c.dns2) wanted.DNS2 = PlainAddress(*c.dns2);
  if (c.port) wanted.DevPort = static_cast<std::uint16_t>(*c.port);
  if (c.name) wanted.DevName = *c.name;
  return wanted;
}

nlohmann::json NetworkJson(const TDevInfo& d) {
  return {{"ip", Utf8(d.IPAddr)},       {"port", d.DevPort},      {"netmask", Utf8(d.Netmask)},
          {"gateway", Utf8(d.Gateway)}, {"dns1", Utf8(d.DNS1)},   {"dns2", Utf8(d.DNS2)},
          {"name", Utf8(d.DevName)},    {"dhcp", d.DhcpFlag == 1}};
}

int RunCheckLogin(const TR730Options& o, const TDevInfo&) {
  if (!R730Client().CheckLogin(BaseUrl(), o.user, o.password)) {
    return Fail(o, "the camera refused the account or did not answer");
  }
  return Done(o, "Login accepted.");
}

// Why the wanted settings may not go ("" when they may): the window's check, so that a typing
// slip never leaves a camera on an address nobody can reach. What the camera holds now is no
// slip: without an option that changes an address, the port or DHCP nothing is checked. A
// camera on loopback now (a simulated one) may move within loopback. When the problem lies in a
// value the options left as the camera has it, the message says which and how to give another.
std::string NetworkSettingsRefusal(const TNetworkChanges& c, const TDevInfo& wanted,
                                   const TDevInfo& current) {
  if (!c.ip && !c.netmask && !c.gateway && !c.dns1 && !c.dns2 && !c.port && !c.dhcp) return "";
  const TNetworkSettingsProblem problem = CheckNetworkSettings(wanted, current.ReplyFrom);
  if (problem == TNetworkSettingsProblem::None) return "";
  std::string text;
  {
    const TCliSession session("en");
    text = GetLangStrUtf8(NetworkSettingsProblemKey(problem));
  }
  // Without the language texts the refusal still stands.
  if (text.empty())
    text = std::string("the settings are not valid (") + NetworkSettingsProblemKey(problem) + ")";
  struct TKept {
    bool given;
    const char* what;
    const std::string* value;
    const char* option;
  };
  std::optional<TKept> kept;
  switch (problem) {
    case TNetworkSettingsProblem::Address:
      kept = TKept{c.ip.has_value(), "IP address", &wanted.IPAddr, "--new-ip"};
      break;
    case TNetworkSettingsProblem::Netmask:
      kept = TKept{c.netmask.has_value(), "subnet mask", &wanted.Netmask, "--netmask"};
      break;
    case TNetworkSettingsProblem::Gateway:
    case TNetworkSettingsProblem::GatewayOutsideSubnet:
      kept =
          TKept{c.gateway.has_value(), "gateway", &wanted.Gateway, "--gateway (0.0.0.0 for none)"};
      break;
    case TNetworkSettingsProblem::Dns:
      kept = TKept{c.dns1.has_value() && c.dns2.has_value(), "DNS servers", nullptr,
                   "--dns1 and --dns2 (0.0.0.0 for none)"};
      break;
    case TNetworkSettingsProblem::Port:
      kept = TKept{c.port.has_value(), "port", nullptr, "--new-port"};
      break;
    case TNetworkSettingsProblem::None:
      break;
  }
  if (kept && !kept->given) {
    text += std::string(" (the camera's ") + kept->what;
    if (kept->value) text += " \"" + Shown(*kept->value) + "\"";
    text += std::string(" was kept: give ") + kept->option + ")";
  }
  return text;
}

int RunSetNetwork(const TR730Options& o, const TDevInfo& current) {
  std::string error;
  const std::optional<TDevInfo> settings = WantedSettings(o.network, current, error);
  if (!settings) return Usage(error);
  const TDevInfo& wanted = *settings;
  if (const std::string refusal = NetworkSettingsRefusal(o.network, wanted, current);
      !refusal.empty()) {
    return Usage(refusal);
  }
  const T8600SettingsResult request = Build8600Settings(wanted, o.user, o.password);
  if (request.bytes.empty()) return Usage(request.error);
  switch (R730Client().SetNetwork(current.IPAddr, current.DevPort, o.user, o.password, wanted,
                                  current)) {
    case TSettingsOutcome::Taken:
      break;
    case TSettingsOutcome::Refused:
      return Fail(o,
                  "the camera refused the network settings (a wrong account is the usual "
                  "cause)");
    case TSettingsOutcome::NoAnswer:
      return Fail(o,
                  "the camera did not answer the network settings: it may have taken them and "
                  "restarted without a word, or not have received them; search again "
                  "(camlift search) to see where it is");
    case TSettingsOutcome::NotSent:
      return Fail(o, "the network settings could not be sent from this computer");
  }
  const std::string where = wanted.DhcpFlag == 1
                                ? "an address from DHCP, port " + std::to_string(wanted.DevPort)
                                : Shown(wanted.IPAddr) + ":" + std::to_string(wanted.DevPort);
  return Done(o, "Network settings taken: " + where + ".", {{"settings", NetworkJson(wanted)}});
}

int RunFactory(const TR730Options& o, const TDevInfo& current) {
  std::string error;
  std::optional<TDevInfo> settings = WantedSettings(o.network, current, error);
  if (!settings) return Usage(error);
  TDevInfo& wanted = *settings;
  // Checked when the command line was read: 12 hex digits, with or without separators.
  wanted.DevID = MacDigits(o.device_mac).value_or("");
  if (const std::string refusal = NetworkSettingsRefusal(o.network, wanted, current);
      !refusal.empty()) {
    return Usage(refusal);
  }
  const T8600SettingsResult request = Build8600Settings(wanted, o.user, o.password);
  if (request.bytes.empty()) return Usage(request.error);
  const std::string wifi_mac = o.wifi_mac.empty() ? "" : MacDigits(o.wifi_mac).value_or("");
  if (!R730Client().SetFactoryParams(o.user, o.password, current, wanted, wifi_mac)) {
    return Fail(o, "the camera did not take the factory parameters");
  }
  return Done(o, "Factory parameters taken.");
}

int RunRestoreDefaults(const TR730Options& o, const TDevInfo&) {
  if (!R730Client().RestoreDefaults(o.user, o.password)) {
    return Fail(o, "the camera did not confirm restoring its defaults");
  }
  return Done(o, "Defaults restored.");
}

int RunWifiScan(const TR730Options& o, const TDevInfo&) {
  std::vector<TWiFiEntry> list;
  const std::int32_t count = R730Client().ScanWifi(o.user, o.password, list);
  if (count < 0) return Fail(o, "the Wi-Fi scan failed");
  nlohmann::json points = nlohmann::json::array();
  for (const TWiFiEntry& e : list) {
    const TWiFiRecord& r = e.Record;
    points.push_back({{"ssid", Utf8(r.SSID)},
                      {"mac", Utf8(r.Mac)},
                      {"security", r.Security},
                      {"mode", r.Mode},
                      {"dbm0", Utf8(r.Dbm0)},
                      {"dbm1", Utf8(r.Dbm1)}});
  }
  if (o.json) return Done(o, "", {{"count", count}, {"accessPoints", points}});
  std::cout << count << " access point" << (count == 1 ? "" : "s") << "\n";
  for (const TWiFiEntry& e : list) {
    std::cout << Shown(e.Text) << "  mac " << Shown(e.Record.Mac) << "  security "
              << e.Record.Security << "  mode " << e.Record.Mode << "\n";
  }
  return kExitOk;
}

void PrintWifi(const TR730Options& o, const TWiFiParams& p) {
  if (o.json) {
    Done(o, "",
         {{"wifi",
           {{"enable", p.Enable},
            {"ssid", Utf8(p.SSID)},
            {"mode", p.Mode},
            {"encrypt", p.Encrypt},
            {"authType", p.AuthType},
            {"defKey", p.DefKey},
            {"keyFormat", p.KeyFormat},
            {"key1", Secret(o, p.Key1)},
            {"key2", Secret(o, p.Key2)},
            {"key3", Secret(o, p.Key3)},
            {"key4", Secret(o, p.Key4)},
            {"key1Bits", p.Key1Bits},
            {"key2Bits", p.Key2Bits},
            {"key3Bits", p.Key3Bits},
            {"key4Bits", p.Key4Bits},
            {"wpaPsk", Secret(o, p.WpaPsk)}}}});
    return;
  }
  std::cout << "Enable:    " << p.Enable << "\n"
            << "SSID:      " << Shown(p.SSID) << "\n"
            << "Mode:      " << p.Mode << "\n"
            << "Encrypt:   " << p.Encrypt << "\n"
            << "AuthType:  " << p.AuthType << "\n"
            << "DefKey:    " << p.DefKey << "\n"
            << "KeyFormat: " << p.KeyFormat << "\n"
            << "Key1:      " << SecretText(o, p.Key1) << " (" << p.Key1Bits << " bits)\n"
            << "Key2:      " << SecretText(o, p.Key2) << " (" << p.Key2Bits << " bits)\n"
            << "Key3:      " << SecretText(o, p.Key3) << " (" << p.Key3Bits << " bits)\n"
            << "Key4:      " << SecretText(o, p.Key4) << " (" << p.Key4Bits << " bits)\n"
            << "WpaPsk:    " << SecretText(o, p.WpaPsk) << "\n";
}

int RunWifiGet(const TR730Options& o, const TDevInfo&) {
  // A failed request leaves an empty record: check the account first to tell the two apart.
  if (!R730Client().CheckLogin(BaseUrl(), o.user, o.password)) {
    return Fail(o, "the camera refused the account or did not answer");
  }
  const TWiFiParams* p = R730Client().ReadWifi(o.user, o.password);
  if (!p) return Fail(o, "the camera's settings page holds no Wi-Fi settings");
  PrintWifi(o, *p);
  return kExitOk;
}

int RunWifiSet(const TR730Options& o, const TDevInfo&) {
  // Writing goes from what was read: an empty record from a failed read would wipe the settings.
  if (!R730Client().CheckLogin(BaseUrl(), o.user, o.password)) {
    return Fail(o, "the camera refused the account or did not answer");
  }
  TWiFiParams* p = R730Client().ReadWifi(o.user, o.password);
  if (!p) return Fail(o, "the camera's settings page holds no Wi-Fi settings");
  const TWifiChanges& c = o.wifi;
  if (c.enable) p->Enable = *c.enable;
  if (c.ssid) p->SSID = *c.ssid;
  if (c.mode) p->Mode = *c.mode;
  if (c.encrypt) p->Encrypt = *c.encrypt;
  if (c.auth_type) p->AuthType = *c.auth_type;
  if (c.def_key) p->DefKey = *c.def_key;
  if (c.key_format) p->KeyFormat = *c.key_format;
  std::string* keys[] = {&p->Key1, &p->Key2, &p->Key3, &p->Key4};
  std::int32_t* bits[] = {&p->Key1Bits, &p->Key2Bits, &p->Key3Bits, &p->Key4Bits};
  for (std::size_t i = 0; i < 4; ++i) {
    if (c.keys[i]) *keys[i] = *c.keys[i];
    if (c.key_bits[i]) *bits[i] = *c.key_bits[i];
  }
  if (c.wpa_psk) p->WpaPsk = *c.wpa_psk;
  switch (R730Client().WriteWifi(o.user, o.password)) {
    case 1:
      return Done(o, "Wi-Fi settings taken; the camera restarts.", {{"result", 1}});
    case 2:
      return Fail(o, "Wi-Fi settings taken, but the camera did not take the restart request",
                  {{"result", 2}});
    default:
      return Fail(o, "the camera did not take the Wi-Fi settings", {{"result", 0}});
  }
}

std::string DdnsStatusText(std::int32_t status) {
  static constexpr const char* kTexts[] = {
      "complete",
      "no service set",
      "a service other than 11",
      "proxy server or proxy port missing",
      "no user",
      "the camera's page holds no settings",
      "the request failed",
  };
  return status >= 0 && status <= 6 ? kTexts[status] : "unknown";
}

int RunDdnsGet(const TR730Options& o, const TDevInfo&) {
  const TDdnsParams* p = R730Client().ReadDdns(o.user, o.password, false);
  if (p->Status == kDdnsNoVars || p->Status == kDdnsRequestFailed) {
    return Fail(o, "DDNS settings not read: " + DdnsStatusText(p->Status), {{"status", p->Status}});
  }
  if (o.json) {
    return Done(o, "",
                {{"ddns",
                  {{"status", p->Status},
                   {"statusText", DdnsStatusText(p->Status)},
                   {"service", Utf8(p->Service)},
                   {"proxyServer", Utf8(p->ProxyServer)},
                   {"proxyPort", Utf8(p->ProxyPort)},
                   {"user", Utf8(p->User)},
                   {"password", Secret(o, p->Password)}}}});
  }
  std::cout << "Status:       " << p->Status << " (" << DdnsStatusText(p->Status) << ")\n"
            << "Service:      " << Shown(p->Service) << "\n"
            << "Proxy server: " << Shown(p->ProxyServer) << "\n"
            << "Proxy port:   " << Shown(p->ProxyPort) << "\n"
            << "User:         " << Shown(p->User) << "\n"
            << "Password:     " << SecretText(o, p->Password) << "\n";
  return kExitOk;
}

int RunDdnsSet(const TR730Options& o, const TDevInfo&) {
  TDdnsParams* p = R730Client().ReadDdns(o.user, o.password, false);
  if (p->Status == kDdnsNoVars || p->Status == kDdnsRequestFailed) {
    return Fail(o, "DDNS settings not read: " + DdnsStatusText(p->Status), {{"status", p->Status}});
  }
  const TDdnsChanges& c = o.ddns;
  if (c.user) p->User = *c.user;
  if (c.password) p->Password = *c.password;
  if (c.proxy_server) p->ProxyServer = *c.proxy_server;
  if (c.proxy_port) p->ProxyPort = *c.proxy_port;
  switch (R730Client().WriteDdns(o.user, o.password)) {
    case 0:
      return Done(o, "DDNS settings taken.", {{"result", 0}});
    case 1:
      return Fail(o, "the camera did not confirm the DDNS settings", {{"result", 1}});
    default:
      return Fail(o, "the DDNS request failed", {{"result", 2}});
  }
}

using TRunner = int (*)(const TR730Options&, const TDevInfo&);

int Run(const TR730Options& o, TRunner runner, bool need_search) {
  if (o.ip.empty() && o.mac.empty()) return Usage("name the camera with --ip or --mac");
  std::string error;
  const std::optional<TDevInfo> device = PickCamera(o, need_search, error);
  if (!device) return Fail(o, error);
  R730Client().SetDevice(device);
  return runner(o, *device);
}

void AddNetworkOptions(CLI::App* cmd, TNetworkChanges& c) {
  cmd->add_option("--new-ip", c.ip, "New IP address");
  cmd->add_option("--netmask", c.netmask, "New subnet mask");
  cmd->add_option("--gateway", c.gateway, "New default gateway");
  cmd->add_option("--dns1", c.dns1, "New primary DNS server");
  cmd->add_option("--dns2", c.dns2, "New secondary DNS server");
  cmd->add_option("--new-port", c.port, "New HTTP port")->check(CLI::Range(1, 65535));
  cmd->add_option("--name", c.name, "New camera name");
  cmd->add_option("--dhcp", c.dhcp, "DHCP on or off")->check(CLI::IsMember({"on", "off"}));
}

void SetupR730(CLI::App& root, CommandRunner& run) {
  auto options = std::make_shared<TR730Options>();
  CLI::App* r730 = root.add_subcommand(
      "r730",
      "Configure a series R camera: login check, network, factory parameters, defaults, "
      "Wi-Fi, DDNS.");
  r730->require_subcommand(1);

  struct TSub {
    const char* name;
    const char* help;
    TRunner runner;
    bool need_search;
  };
  const TSub subs[] = {
      {"check-login", "Check the account against the camera", RunCheckLogin, false},
      {"set-network",
       "Send new network settings (the camera is looked up by the search for the rest)",
       RunSetNetwork, true},
      // The settings datagram carries the camera's MAC and network settings, which only the
      // search reports: factory always searches, also with --firmware-version.
      {"factory", "Set the factory parameters (MAC addresses)", RunFactory, true},
      {"restore-defaults", "Restore the camera's default settings", RunRestoreDefaults, false},
      {"wifi-scan", "List the access points the camera sees", RunWifiScan, false},
      {"wifi-get", "Show the camera's Wi-Fi settings", RunWifiGet, false},
      {"wifi-set", "Change the camera's Wi-Fi settings (then it restarts)", RunWifiSet, false},
      {"ddns-get", "Show the camera's DDNS settings", RunDdnsGet, false},
      {"ddns-set", "Change the camera's DDNS settings", RunDdnsSet, false},
  };
  for (const TSub& s : subs) {
    CLI::App* cmd = r730->add_subcommand(s.name, s.help);
    TR730Options& o = *options;
    cmd->add_option("--ip", o.ip, "Camera IP address");
    cmd->add_option("--port", o.port, "Camera HTTP port")
        ->check(CLI::Range(1, 65535))
        ->capture_default_str();
    cmd->add_option("--user", o.user, "Camera account")->capture_default_str();
    // Each subcommand has its own options, and so its own record of which were given.
    auto password = std::make_shared<TPasswordOption>();
    AddPasswordOptions(cmd, *password);
    cmd->add_option("--mac", o.mac, "Pick the camera by its MAC address from a series R search")
        ->check(MacAddress());
    cmd->add_flag("--json", o.json, "One JSON object as the result");
    const std::string name = s.name;
    if (name == "wifi-get" || name == "ddns-get") {
      cmd->add_flag("--show-secrets", o.show_secrets, "Print keys and passwords");
    }
    bool need_search = s.need_search;
    if (name == "set-network") AddNetworkOptions(cmd, o.network);
    if (name == "factory") {
      cmd->add_option("--device-mac", o.device_mac, "New MAC address of the camera")
          ->required()
          ->check(MacAddress());
      cmd->add_option("--wifi-mac", o.wifi_mac, "New MAC address of the camera's Wi-Fi")
          ->check(MacAddress());
      cmd->add_option("--firmware-version", o.firmware_version,
                      "Version the camera runs (default: as the search reports it; the camera "
                      "is searched for either way)");
      AddNetworkOptions(cmd, o.network);
    }
    if (name == "wifi-set") {
      TWifiChanges& w = o.wifi;
      cmd->add_option("--enable", w.enable, "1: Wi-Fi on, 0: off")->check(CLI::Range(0, 1));
      cmd->add_option("--ssid", w.ssid, "Network name");
      cmd->add_option("--mode", w.mode, "Mode number of the camera");
      cmd->add_option("--encrypt", w.encrypt, "Encryption number of the camera");
      cmd->add_option("--authtype", w.auth_type, "Authentication number of the camera");
      cmd->add_option("--defkey", w.def_key, "Default WEP key number");
      cmd->add_option("--keyformat", w.key_format, "WEP key format number");
      for (std::size_t i = 0; i < 4; ++i) {
        const std::string n = std::to_string(i + 1);
        cmd->add_option("--key" + n, w.keys[i], "WEP key " + n);
        cmd->add_option("--key" + n + "-bits", w.key_bits[i], "Bits of WEP key " + n);
      }
      cmd->add_option("--wpa-psk", w.wpa_psk, "WPA passphrase");
    }
    if (name == "ddns-set") {
      TDdnsChanges& d = o.ddns;
      cmd->add_option("--ddns-user", d.user, "DDNS account");
      cmd->add_option("--ddns-password", d.password, "DDNS password");
      cmd->add_option("--proxy-server", d.proxy_server, "DDNS proxy server");
      cmd->add_option("--proxy-port", d.proxy_port, "DDNS proxy port");
    }
    const TRunner runner = s.runner;
    cmd->callback([options, password, &run, runner, need_search] {
      options->password = ResolvePassword(*password);
      run = [options, runner, need_search] { return Run(*options, runner, need_search); };
    });
  }
}

}  // namespace

CAMLIFT_REGISTER_COMMAND("r730", SetupR730);

}  // namespace camlift::cli
