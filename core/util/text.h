// SPDX-License-Identifier: Apache-2.0
// Small text rules shared by every layer: trimming, ASCII case, and the quoted value of a key on a
// camera's script page. Each rule is defined here once.
#pragma once

#include <string>
#include <string_view>

namespace camlift {

// The text without blanks and control characters (bytes up to and including ' ') at both ends.
std::string TrimText(std::string_view text);

// ASCII letters lowered; every other byte (UTF-8 or a code page) stays as it is.
char LowerAscii(char c);
std::string LowerAscii(std::string_view text);

// The version of a camera's "/appver.js" as a number: every lower-case "v" removed (series M and P
// write one in front), then trimmed. An upper-case "V" stays.
std::string VersionWithoutV(std::string_view version);

// The value after the first key and the two characters behind it (the assignment sign and the
// opening quote), up to the next quote character (empty when none follows). False when the key
// is missing.
bool QuotedValueAfter(const std::string& page, const std::string& key, char quote,
                      std::string& value);

}  // namespace camlift
