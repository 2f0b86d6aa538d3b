// SPDX-License-Identifier: Apache-2.0
#include "platform/locale.h"

#include <cstdlib>
#include <string>

namespace camlift {
namespace {

struct LocaleRow {
  std::string_view prefix;  // matched at the start of the locale name
  int code_page;
};

// Longer prefixes first: "fr_CA" must win over a plain "fr" row, were one added.
constexpr LocaleRow kLocaleTable[] = {
    {"zh_CN", 936}, {"zh_SG", 936}, {"zh_TW", 950}, {"zh_HK", 950}, {"zh_MO", 950},
    {"fr_CA", 863}, {"ja", 932},    {"it", 1144},   {"es", 1145},
};

bool StartsWithPrefix(std::string_view locale, std::string_view prefix) {
  if (locale.substr(0, prefix.size()) != prefix) return false;
  // "it" must not match "ita_XX"-like names of other languages: the next char ends the language.
  if (locale.size() == prefix.size()) return true;
  const char next = locale[prefix.size()];
  return prefix.find('_') != std::string_view::npos || next == '_' || next == '.' || next == '@';
}

}  // namespace

int OemCodePageForLocale(std::string_view locale) {
  for (const LocaleRow& row : kLocaleTable) {
    if (StartsWithPrefix(locale, row.prefix)) return row.code_page;
  }
  return 437;
}

int OemCodePage() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return OemCodePageForLocale(value);
  }
  return 437;
}

}  // namespace camlift

namespace camlift {

std::string DefaultLanguageCode(int oem_code_page) {
  switch (oem_code_page) {
    case 863:
      return "fr";
    case 932:
      return "jp";
    case 936:
      return "cn";
    case 950:
      return "b5";
    case 1144:
      return "Ita";
    case 1145:
      return "spa";
    default:
      return "en";
  }
}

std::string DefaultLanguageCode() { return DefaultLanguageCode(OemCodePage()); }

}  // namespace camlift
