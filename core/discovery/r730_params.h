// Settings records of the series R configuration calls.
#pragma once

#include <cstdint>
#include <string>

namespace camlift {

struct TWiFiParams {
  bool Enable = false;
  std::string Ssid;
  std::int32_t Mode = 0;
  std::int32_t Encrypt = 0;
  std::int32_t AuthType = 0;
  std::int32_t KeyFormat = 0;
  std::int32_t DefKey = 0;
  std::string Key1, Key2, Key3, Key4;
  std::int32_t Key1Bits = 0, Key2Bits = 0, Key3Bits = 0, Key4Bits = 0;
  std::string WpaPsk;
};

struct TDdnsParams {
  std::int32_t Service = 0;
  std::string User;
  std::string Password;
  std::string Host;
  std::string Proxy;
  std::int32_t ProxyPort = 0;
  std::uint8_t Status = 0;
};

}  // namespace camlift
