// SPDX-License-Identifier: Apache-2.0
#include "fleet/history_view.h"

#include <ctime>
#include <iterator>

#include "discovery/search_diagnostics.h"
#include "util/log_line.h"

namespace camlift {

std::string HistoryLocalTime(const std::string& utc_time) {
  std::tm utc{};
  int consumed = 0;
  if (std::sscanf(utc_time.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ%n", &utc.tm_year, &utc.tm_mon,
                  &utc.tm_mday, &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &consumed) != 6 ||
      consumed != static_cast<int>(utc_time.size())) {
    return utc_time;
  }
  utc.tm_year -= 1900;
  utc.tm_mon -= 1;
  const std::time_t when = timegm(&utc);
  if (when == static_cast<std::time_t>(-1)) return utc_time;
  return LogTimeStamp(when);
}

std::string HistoryResultText(const std::string& result) {
  struct TWord {
    const char* result;
    const char* key;
  };
  static constexpr TWord kWords[] = {
      {"ok", "IDS_RESULTOK"},
      {"not needed", "IDS_RESULTNOTNEEDED"},
      {"failed", "IDS_RESULTFAILED"},
      {"cancelled", "IDS_RESULTCANCELLED"},
      {"not returned", "IDS_RESULTNOTRETURNED"},
      {"version unchanged", "IDS_RESULTUNCHANGED"},
      {"sent, not confirmed", "IDS_RESULTSENT"},
  };
  for (const TWord& word : kWords) {
    if (result == word.result) return LangTextOr(word.key, result);
  }
  return result;
}

}  // namespace camlift
