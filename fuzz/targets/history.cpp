// SPDX-License-Identifier: Apache-2.0
// The upgrade record "history.jsonl" (a file anyone with the user's rights may have edited):
// the records read are whole, write back to the same record, and the table of them holds no
// control character a terminal would act on.
#include "fleet/history.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "fuzz_check.h"

namespace {

bool SameEntry(const camlift::THistoryEntry& a, const camlift::THistoryEntry& b) {
  return a.time == b.time && a.source == b.source && a.ip == b.ip && a.port == b.port &&
         a.series == b.series && a.model == b.model && a.version_before == b.version_before &&
         a.version_after == b.version_after && a.firmware_file == b.firmware_file &&
         a.archive_md5 == b.archive_md5 && a.result == b.result && a.reason == b.reason &&
         a.log_file == b.log_file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace camlift;
  const std::string_view text = fuzz::AsText(data, size);
  const std::vector<THistoryEntry> entries = ParseHistoryText(text, false);
  const std::vector<THistoryEntry> tail = ParseHistoryText(text, true);
  FUZZ_CHECK(tail.size() <= entries.size());
  FUZZ_CHECK(entries.size() <=
             static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  for (const THistoryEntry& e : entries) {
    FUZZ_CHECK(!e.time.empty() && !e.ip.empty());
    FUZZ_CHECK(e.port >= 0 && e.port <= 65535);
    const std::string line = HistoryJsonLine(e);
    FUZZ_CHECK(std::count(line.begin(), line.end(), '\n') == 1 && line.back() == '\n');
    const auto back = ParseHistoryLine(line);
    FUZZ_CHECK(back.has_value() && SameEntry(*back, e));
  }
  const std::string table = HistoryTable(entries);
  FUZZ_CHECK(static_cast<std::size_t>(std::count(table.begin(), table.end(), '\n')) ==
             entries.size() + 1);
  FUZZ_CHECK(std::none_of(table.begin(), table.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\n') || u == 0x7f;
  }));
  if (!entries.empty()) {
    const auto kept = FilterHistory(entries, entries.front().ip, entries.front().time);
    FUZZ_CHECK(!kept.empty() && kept.size() <= entries.size());
  }
  return 0;
}
