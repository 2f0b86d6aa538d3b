// SPDX-License-Identifier: Apache-2.0
// Settings records of the series R configuration calls.
#pragma once

#include <cstdint>
#include <string>

namespace camlift {

// One access point found by a Wi-Fi scan.
struct TWiFiRecord {
  std::string SSID;
  std::int32_t Mode = 0;
  std::int32_t Security = 0;
  std::string Dbm0;  // signal level
  std::string Dbm1;
  std::string Mac;
};

// One line of a scan list: the caption "SSID(Dbm0)" with its access point attached.
struct TWiFiEntry {
  std::string Text;
  TWiFiRecord Record;
};

// The camera's Wi-Fi settings, as "/get_params.cgi" reports them and "/set_wifi.cgi" takes them.
struct TWiFiParams {
  std::int32_t Enable = 0;
  std::string SSID;
  std::int32_t Mode = 0;
  std::int32_t Encrypt = 0;
  std::int32_t AuthType = 0;
  std::int32_t DefKey = 0;
  std::int32_t KeyFormat = 0;
  std::string Key1, Key2, Key3, Key4;
  std::int32_t Key1Bits = 0, Key2Bits = 0, Key3Bits = 0, Key4Bits = 0;
  std::string WpaPsk;
};

// What ReadDdns found out about the camera's dynamic DNS settings.
enum TDdnsStatus : std::int32_t {
  kDdnsComplete = 0,       // service "11" with proxy server, proxy port (not "0") and user
  kDdnsNoService = 1,      // no service set
  kDdnsOtherService = 2,   // a service other than "11"
  kDdnsNoProxy = 3,        // service "11" but proxy server or port missing, or port "0"
  kDdnsNoUser = 4,         // service "11" complete but no user
  kDdnsNoVars = 5,         // the reply held no "var"
  kDdnsRequestFailed = 6,  // the request failed
};

// The camera's dynamic DNS settings.
struct TDdnsParams {
  std::string Service;
  std::string ProxyServer;
  std::string ProxyPort;
  std::string User;
  std::string Password;
  std::int32_t Status = kDdnsComplete;
};

}  // namespace camlift
