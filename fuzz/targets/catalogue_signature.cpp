// SPDX-License-Identifier: Apache-2.0
// A catalogue and the signature file fetched from beside it ("firmware.txt.sig"), both from the
// repository: whatever the bytes, the verdict is one of three, and a signature that verifies
// stops verifying the moment one byte of the catalogue changes or the catalogue is served from
// another folder.
// Input: two bytes (little-endian) with the length of the signature, the signature, the
// catalogue. The seeds hold catalogues signed for "system/firmware.txt" with the private key of
// kFuzzKey.
#include "repository/catalogue_signature.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"

namespace {

// The public half of the seeds' key (make_seeds.py: the private key is the bytes 1..32).
constexpr camlift::TEd25519Key kFuzzKey = {
    0x79, 0xb5, 0x56, 0x2e, 0x8f, 0xe6, 0x54, 0xf9, 0x40, 0x78, 0xb1, 0x12, 0xe8, 0xa9, 0x8b, 0xa7,
    0x90, 0x1f, 0x85, 0x3a, 0xe6, 0x95, 0xbe, 0xd7, 0xe0, 0xe3, 0x91, 0x0b, 0xad, 0x04, 0x96, 0x64};
// A key of nobody: it verifies nothing, and the verdict must not depend on its place.
constexpr camlift::TEd25519Key kOtherKey = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,
                                            12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22,
                                            23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
constexpr std::string_view kPlace = "system/firmware.txt";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace camlift;
  if (size < 2) return 0;
  const std::size_t signature_size = std::min<std::size_t>(data[0] | (data[1] << 8), size - 2);
  const std::optional<std::string> signature(std::in_place, reinterpret_cast<const char*>(data + 2),
                                             signature_size);
  const std::span<const std::uint8_t> catalogue(data + 2 + signature_size,
                                                size - 2 - signature_size);

  const std::vector<TEd25519Key> keys = {kOtherKey, kFuzzKey};
  const TCatalogueVerdict verdict = CheckCatalogueSignature(catalogue, kPlace, signature, keys);
  FUZZ_CHECK(CheckCatalogueSignature(catalogue, kPlace, std::nullopt, keys) ==
             TCatalogueVerdict::Unsigned);
  FUZZ_CHECK(CheckCatalogueSignature(catalogue, kPlace, signature, {}) ==
             TCatalogueVerdict::BadSignature);
  FUZZ_CHECK(CheckCatalogueSignature(catalogue, kPlace, signature, {kOtherKey}) ==
             TCatalogueVerdict::BadSignature);
  FUZZ_CHECK(CheckCatalogueSignature(catalogue, kPlace, signature, {kFuzzKey, kOtherKey}) ==
             verdict);
  if (verdict != TCatalogueVerdict::Valid) {
    FUZZ_CHECK(verdict == TCatalogueVerdict::BadSignature);
    return 0;
  }
  FUZZ_CHECK(signature->size() == 64);
  // The same bytes served in another folder's place are not what was signed.
  FUZZ_CHECK(CheckCatalogueSignature(catalogue, "acme/firmware.txt", signature, keys) ==
             TCatalogueVerdict::BadSignature);
  // Every changed byte of a signed catalogue is noticed.
  std::vector<std::uint8_t> changed(catalogue.begin(), catalogue.end());
  const std::size_t at = changed.empty() ? 0 : data[2] % changed.size();
  if (changed.empty()) {
    changed.push_back('\n');
  } else {
    changed[at] ^= 0x01;
  }
  FUZZ_CHECK(CheckCatalogueSignature(changed, kPlace, signature, keys) ==
             TCatalogueVerdict::BadSignature);
  return 0;
}
