// SPDX-License-Identifier: Apache-2.0
// The camera list of a batch (--from: CSV lines or the JSON lines of `camlift search --json`, a
// file the user hands over): every camera taken has an IPv4 address, a port, a series and a
// line of its own, no camera is taken twice, and every other line is refused with its number.
#include "fleet/camera_list.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>

#include "fuzz_check.h"
#include "platform/broadcast.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace camlift;
  const std::string_view text = fuzz::AsText(data, size);
  const TCameraListResult list = ParseCameraList(text, "admin", "secret");
  const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  FUZZ_CHECK(list.cameras.size() + list.errors.size() <= lines);
  std::set<std::pair<std::string, int>> seen;
  int last_line = 0;
  for (const TCameraEntry& c : list.cameras) {
    FUZZ_CHECK(ParseDottedIPv4(c.ip).has_value());
    FUZZ_CHECK(c.port > 0 && c.port <= 65535);
    FUZZ_CHECK(c.series != TSeries::None);
    FUZZ_CHECK(seen.insert({c.ip, c.port}).second);
    FUZZ_CHECK(c.line > last_line && static_cast<std::size_t>(c.line) <= lines);
    last_line = c.line;
  }
  for (const std::string& error : list.errors) FUZZ_CHECK(error.rfind("line ", 0) == 0);
  return 0;
}
