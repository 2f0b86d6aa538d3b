#include "util/log_line.h"

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
  return LogTimeStamp(when) + ":" + text;
}

}  // namespace camlift
