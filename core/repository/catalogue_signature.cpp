// SPDX-License-Identifier: Apache-2.0
#include "repository/catalogue_signature.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>

#include "util/base64.h"

namespace camlift {
namespace {

// DER prefix of an Ed25519 SubjectPublicKeyInfo (RFC 8410): SEQUENCE, AlgorithmIdentifier with
// OID 1.3.101.112, BIT STRING of 33 bytes with no unused bits; the 32 key bytes follow.
constexpr std::uint8_t kSpkiPrefix[] = {0x30, 0x2a, 0x30, 0x05, 0x06, 0x03,
                                        0x2b, 0x65, 0x70, 0x03, 0x21, 0x00};
constexpr std::size_t kSignatureBytes = 64;

struct PkeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct MdCtxFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

}  // namespace

std::optional<TEd25519Key> ParseRepositoryKey(std::string_view base64) {
  const std::optional<std::string> bytes = Base64Decode(base64);
  if (!bytes) return std::nullopt;
  std::string_view raw = *bytes;
  if (raw.size() == sizeof kSpkiPrefix + 32 &&
      std::equal(std::begin(kSpkiPrefix), std::end(kSpkiPrefix), raw.begin(),
                 [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); })) {
    raw.remove_prefix(sizeof kSpkiPrefix);
  }
  if (raw.size() != 32) return std::nullopt;
  TEd25519Key key{};
  std::copy(raw.begin(), raw.end(), key.begin());
  return key;
}

TRepositoryKeys ParseRepositoryKeys(std::string_view text) {
  TRepositoryKeys result;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t start = text.find_first_not_of(" \t\r\n,;", at);
    if (start == std::string_view::npos) break;
    std::size_t end = text.find_first_of(" \t\r\n,;", start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view piece = text.substr(start, end - start);
    if (auto key = ParseRepositoryKey(piece)) {
      result.keys.push_back(*key);
    } else {
      result.bad.emplace_back(piece);
    }
    at = end;
  }
  return result;
}

bool VerifyEd25519(const TEd25519Key& key, std::span<const std::uint8_t> message,
                   std::span<const std::uint8_t> signature) {
  if (signature.size() != kSignatureBytes) return false;
  std::unique_ptr<EVP_PKEY, PkeyFree> pkey(
      EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()));
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  if (!pkey || !ctx) return false;
  // Ed25519 signs the message itself: no digest is named, and the whole message goes in at once.
  if (EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) != 1) return false;
  return EVP_DigestVerify(ctx.get(), signature.data(), signature.size(), message.data(),
                          message.size()) == 1;
}

std::optional<std::string> SignedCatalogueMessage(std::string_view path,
                                                  std::span<const std::uint8_t> catalogue) {
  if (path.empty()) return std::nullopt;
  for (const char c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return std::nullopt;
  }
  std::string message(kCatalogueSignaturePrefix);
  message.append(path);
  message += '\n';
  message.append(reinterpret_cast<const char*>(catalogue.data()), catalogue.size());
  return message;
}

TCatalogueVerdict CheckCatalogueSignature(std::span<const std::uint8_t> catalogue,
                                          std::string_view path,
                                          const std::optional<std::string>& signature,
                                          const std::vector<TEd25519Key>& keys) {
  if (!signature) return TCatalogueVerdict::Unsigned;
  const std::optional<std::string> message = SignedCatalogueMessage(path, catalogue);
  if (!message) return TCatalogueVerdict::BadSignature;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(signature->data());
  const std::span<const std::uint8_t> sig(bytes, signature->size());
  const auto* signed_bytes = reinterpret_cast<const std::uint8_t*>(message->data());
  for (const TEd25519Key& key : keys) {
    if (VerifyEd25519(key, {signed_bytes, message->size()}, sig)) return TCatalogueVerdict::Valid;
  }
  return TCatalogueVerdict::BadSignature;
}

}  // namespace camlift
