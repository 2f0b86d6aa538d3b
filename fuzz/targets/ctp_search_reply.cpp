// SPDX-License-Identifier: Apache-2.0
// The text reply to the CTP search, as the series K version read takes it apart.
#include <cstdint>

#include "ctp/ctp_search.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace camlift;
  const auto record = ParseCtpSearchReply({reinterpret_cast<const char*>(data), size});
  if (record) {
    // Text fields keep at most their width.
    FUZZ_CHECK(record->name.size() <= 50);
    FUZZ_CHECK(record->serial.size() <= 40);
    FUZZ_CHECK(record->ip.size() <= 16);
    FUZZ_CHECK(record->netmask.size() <= 16);
  }
  CtpVersionFromValue(fuzz::AsText(data, size));
  return 0;
}
