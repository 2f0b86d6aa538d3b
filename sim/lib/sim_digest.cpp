// SPDX-License-Identifier: Apache-2.0
#include "sim_digest.h"

#include <fstream>
#include <stdexcept>
#include <vector>

namespace camlift::sim {

TMd5::TMd5() : ctx_(EVP_MD_CTX_new()) {
  if (!ctx_ || EVP_DigestInit_ex(ctx_.get(), EVP_md5(), nullptr) != 1) {
    throw std::runtime_error("MD5 is not available");
  }
}

void TMd5::Update(std::span<const char> bytes) {
  EVP_DigestUpdate(ctx_.get(), bytes.data(), bytes.size());
}

std::string TMd5::HexDigest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(ctx_.get(), digest, &length);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < length; ++i) {
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 15];
  }
  return out;
}

std::string Md5Hex(std::span<const char> bytes) {
  TMd5 md5;
  md5.Update(bytes);
  return md5.HexDigest();
}

std::optional<std::string> Md5OfFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  TMd5 md5;
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    md5.Update(std::span<const char>(buffer.data(), static_cast<std::size_t>(in.gcount())));
  }
  if (in.bad()) return std::nullopt;
  return md5.HexDigest();
}

}  // namespace camlift::sim
