// SPDX-License-Identifier: Apache-2.0
// The "/get_wifi_scan_result.cgi" page of a series R camera: the count, then the access points.
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "r730/r730_pages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace camlift;
  std::vector<TWiFiEntry> list;
  const std::int32_t count = ParseWifiScanResult(camlift::fuzz::AsText(data, size), list);
  FUZZ_CHECK(count >= -1);
  if (count > 0) FUZZ_CHECK(list.size() == static_cast<std::size_t>(count));
  return 0;
}
