// SPDX-License-Identifier: Apache-2.0
#include "util/log_line.h"

#include "util/text_fields.h"

namespace camlift {

std::string LogTimeStamp(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[64];
  // %x and %X follow LC_TIME, the platform's short date and long time.
  const std::size_t n = std::strftime(text, sizeof text, "%x %X", &local);
  return std::string(text, n);
}

std::string FormatLogLine(const std::string& text, std::time_t when) {
  // Log texts carry what cameras and repositories said (versions, names, status lines, redirect
  // targets): one line each, nothing a terminal would take for a command, no account of a URL.
  return LogTimeStamp(when) + ":" + ShownText(WithoutUrlAccounts(text));
}

}  // namespace camlift
