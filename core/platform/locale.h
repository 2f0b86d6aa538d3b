// SPDX-License-Identifier: Apache-2.0
// The OEM code page of the platform, derived from the locale variables on Linux.
#pragma once

#include <string>
#include <string_view>

namespace camlift {

// From LC_ALL, LC_MESSAGES, LANG (first non-empty): zh_CN/zh_SG 936, zh_TW/zh_HK/zh_MO 950,
// ja 932, fr_CA 863, it 1144, es 1145, anything else 437.
int OemCodePage();
int OemCodePageForLocale(std::string_view locale);

}  // namespace camlift

namespace camlift {

// The language the program starts in when none was chosen yet, from the OEM code page:
// 863 "fr", 932 "jp", 936 "cn", 950 "b5", 1144 "Ita", 1145 "spa", anything else "en".
std::string DefaultLanguageCode(int oem_code_page);
std::string DefaultLanguageCode();

}  // namespace camlift
