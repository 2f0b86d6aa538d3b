// SPDX-License-Identifier: Apache-2.0
// Base64 (RFC 4648 alphabet) in the MIME form of RFC 2045: lines of 76 characters joined by CR LF.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace camlift {

// 4 * ceil(n / 3) + 2 * floor((n - 1) / 57) for n >= 1: the exact length including line breaks.
std::uint32_t Base64EncodedLength(std::uint32_t n);
std::string Base64Encode(std::string_view data);
// The same text without line breaks, for header values (which must never hold CR LF).
std::string Base64EncodeOneLine(std::string_view data);
// Strict decoding of one Base64 text (no line breaks, "=" only as the final padding); nullopt
// for anything else, so that a mistyped key is refused rather than read as other bytes.
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace camlift
