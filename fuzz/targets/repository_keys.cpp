// SPDX-License-Identifier: Apache-2.0
// The value of repository_keys (from the options file an administrator or a user writes): every
// piece is either a key or reported as no key, and a key reads back from its own Base64 forms,
// the raw 32 bytes and the body of the PEM file (the DER SubjectPublicKeyInfo).
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "repository/catalogue_signature.h"
#include "util/base64.h"

namespace {

constexpr char kSpkiPrefix[] = "\x30\x2a\x30\x05\x06\x03\x2b\x65\x70\x03\x21\x00";

std::size_t PieceCount(std::string_view text) {
  std::size_t count = 0;
  bool inside = false;
  for (const char c : text) {
    const bool separator = std::string_view(" \t\r\n,;").find(c) != std::string_view::npos;
    if (!separator && !inside) ++count;
    inside = !separator;
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace camlift;
  const std::string_view text = fuzz::AsText(data, size);
  const TRepositoryKeys parsed = ParseRepositoryKeys(text);
  FUZZ_CHECK(parsed.keys.size() + parsed.bad.size() == PieceCount(text));
  for (const std::string& bad : parsed.bad) {
    FUZZ_CHECK(!bad.empty());
    FUZZ_CHECK(!ParseRepositoryKey(bad).has_value());
  }
  for (const TEd25519Key& key : parsed.keys) {
    const std::string raw(key.begin(), key.end());
    FUZZ_CHECK(ParseRepositoryKey(Base64EncodeOneLine(raw)) == key);
    const std::string spki = std::string(kSpkiPrefix, sizeof kSpkiPrefix - 1) + raw;
    FUZZ_CHECK(ParseRepositoryKey(Base64EncodeOneLine(spki)) == key);
  }
  // The whole input as one key, as the parser of one piece sees it.
  if (const auto key = ParseRepositoryKey(text)) {
    FUZZ_CHECK(parsed.keys.size() == 1 && parsed.keys.front() == *key);
  }
  return 0;
}
