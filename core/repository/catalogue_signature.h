// SPDX-License-Identifier: Apache-2.0
// Signed catalogues: a site that names repository keys accepts a catalogue only together with
// "firmware.txt.sig" beside it, a detached Ed25519 signature (64 raw bytes) made with the private
// half of one of the keys. What is signed is the catalogue's place and its exact bytes:
//   "camlift catalogue\n" + its path below the repository ("system/firmware.txt") + "\n" + bytes
// so that one folder's signed catalogue served in another folder's place is refused. MD5 and
// SHA-256 in the catalogue then stand for the archives, because nobody without the key can
// change them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace camlift {

using TEd25519Key = std::array<std::uint8_t, 32>;

// One key as Base64: either the 32 raw bytes of the public key or its 44-byte DER
// SubjectPublicKeyInfo (the body of the PEM file that "openssl pkey -pubout" writes).
std::optional<TEd25519Key> ParseRepositoryKey(std::string_view base64);

struct TRepositoryKeys {
  std::vector<TEd25519Key> keys;  // the usable ones
  std::vector<std::string> bad;   // texts that are no key (reported, never trusted)
};
// The value of "repository_keys": keys separated by commas, semicolons or blanks.
TRepositoryKeys ParseRepositoryKeys(std::string_view text);

// True when signature is a valid Ed25519 signature of message under key.
bool VerifyEd25519(const TEd25519Key& key, std::span<const std::uint8_t> message,
                   std::span<const std::uint8_t> signature);

// The first bytes of every signed message.
inline constexpr std::string_view kCatalogueSignaturePrefix = "camlift catalogue\n";

// The message a catalogue's signature covers; nullopt for a path that cannot be signed (empty,
// or with a control byte, which would make two places read as one).
std::optional<std::string> SignedCatalogueMessage(std::string_view path,
                                                  std::span<const std::uint8_t> catalogue);

enum class TCatalogueVerdict {
  Valid,         // signed by one of the keys
  Unsigned,      // no signature file came with the catalogue
  BadSignature,  // a signature came, but no key verifies it over these bytes
};
// path: where the catalogue was fetched from, below the repository base ("system/firmware.txt").
// signature: the bytes of "firmware.txt.sig", nullopt when it could not be fetched. No keys at
// all means nothing can verify: BadSignature (a site that asked for signatures gets none).
TCatalogueVerdict CheckCatalogueSignature(std::span<const std::uint8_t> catalogue,
                                          std::string_view path,
                                          const std::optional<std::string>& signature,
                                          const std::vector<TEd25519Key>& keys);

}  // namespace camlift
