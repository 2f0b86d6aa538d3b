// SPDX-License-Identifier: Apache-2.0
#include "util/log_line.h"

#include <langinfo.h>
#include <locale.h>

#include <clocale>
#include <cstring>

#include "util/text_convert.h"
#include "util/text_fields.h"

namespace camlift {

std::string LogTimeStamp(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[64];
  // %x and %X follow LC_TIME, the platform's short date and long time.
  const std::size_t n = std::strftime(text, sizeof text, "%x %X", &local);
  const std::string stamp(text, n);
  // In a GBK or Big5 locale the date holds bytes of that code page (年, 上午); the log is UTF-8.
  // The code page is the one of the LC_TIME locale, which may differ from LC_CTYPE's.
  std::string codeset_text;
  if (const char* name = std::setlocale(LC_TIME, nullptr)) {
    if (locale_t time_locale = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr))) {
      codeset_text = nl_langinfo_l(CODESET, time_locale);
      freelocale(time_locale);
    }
  }
  const char* codeset = codeset_text.c_str();
  if (!codeset || !*codeset || std::strcmp(codeset, "UTF-8") == 0 ||
      std::strcmp(codeset, "ANSI_X3.4-1968") == 0) {
    return ToValidUtf8(stamp);
  }
  return ToUtf8(stamp, codeset);
}

std::string FormatLogLine(const std::string& text, std::time_t when) {
  // Log texts carry what cameras and repositories said (versions, names, status lines, redirect
  // targets): one line each, nothing a terminal would take for a command, no account of a URL.
  return LogTimeStamp(when) + ":" + ShownText(WithoutUrlAccounts(text));
}

}  // namespace camlift
