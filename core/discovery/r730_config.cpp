// Placeholder: the configuration calls answer with their failure values until they land.
#include "discovery/r730_params.h"
#include "discovery/r730_series.h"

namespace camlift {

bool TR730Series::SetNetwork(const std::string&, std::uint16_t, const std::string&,
                             const std::string&, const TDevInfo&, const TDevInfo&) {
  return false;
}
bool TR730Series::CheckLogin(const std::string&, const std::string&, const std::string&) {
  return false;
}
bool TR730Series::SetFactoryParams(const std::string&, const std::string&, const TDevInfo&,
                                   const TDevInfo&, const std::string&) {
  return false;
}
bool TR730Series::RestoreDefaults(const std::string&, const std::string&) { return false; }
std::int32_t TR730Series::ScanWifi(const std::string&, const std::string&,
                                   std::vector<std::string>&) {
  return -1;
}
const TWiFiParams* TR730Series::ReadWifi(const std::string&, const std::string&) {
  return nullptr;
}
std::int32_t TR730Series::WriteWifi(const std::string&, const std::string&) { return 0; }
const TDdnsParams* TR730Series::ReadDdns(const std::string&, const std::string&, bool) {
  return nullptr;
}
std::uint8_t TR730Series::WriteDdns(const std::string&, const std::string&) { return 0; }

}  // namespace camlift
