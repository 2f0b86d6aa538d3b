// SPDX-License-Identifier: Apache-2.0
// SHA-256 through OpenSSL's EVP interface, beside the MD5 that cameras and old catalogues need:
// a catalogue may name both, and an archive must then match both.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace camlift {

// The 64 lower-case hex digits of a file's SHA-256, or nullopt when it cannot be opened or read.
std::optional<std::string> FileSha256Hex(const std::string& path);
std::string Sha256Hex(std::string_view bytes);
// True when the file's SHA-256 equals expected (hex, case and surrounding blanks ignored).
bool FileMatchesSha256(const std::string& path, const std::string& expected);

}  // namespace camlift
