// SPDX-License-Identifier: Apache-2.0
// Conversion between the 8-bit code pages of the language files and UTF-8, for display.
#pragma once

#include <string>
#include <string_view>

namespace camlift {

// The iconv name of the code page a language file is written in: "cn" GBK, "b5" Big5 (with the
// common vendor extensions), "jp" Shift-JIS; "en" and any other code GBK, because the English
// file carries GBK full-width colons and language names.
const char* LanguageCodePage(std::string_view language_code);

// Bytes of code_page as UTF-8. A byte sequence that is not valid in the code page becomes one
// U+FFFD per offending byte; conversion never stops early and never drops text silently.
std::string ToUtf8(std::string_view bytes, const char* code_page);
// UTF-8 as bytes of code_page. Characters the code page lacks (and invalid UTF-8) become "?".
std::string FromUtf8(std::string_view utf8, const char* code_page);

// Language-file bytes of the language with this code, as UTF-8.
std::string LangToUtf8(std::string_view bytes, std::string_view language_code);
// UTF-8 text as bytes of the language with this code.
std::string Utf8ToLang(std::string_view utf8, std::string_view language_code);

}  // namespace camlift
