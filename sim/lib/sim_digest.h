// SPDX-License-Identifier: Apache-2.0
// MD5 (OpenSSL libcrypto) as the simulator needs it: incremental over an upload as it streams
// in, and over whole files for the catalogue.
#pragma once

#include <openssl/evp.h>

#include <memory>
#include <optional>
#include <span>
#include <string>

namespace camlift::sim {

class TMd5 {
 public:
  TMd5();
  void Update(std::span<const char> bytes);
  // 32 lower-case hex digits; the object is finished afterwards.
  std::string HexDigest();

 private:
  struct Deleter {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
  };
  std::unique_ptr<EVP_MD_CTX, Deleter> ctx_;
};

std::string Md5Hex(std::span<const char> bytes);
// nullopt when the file cannot be read.
std::optional<std::string> Md5OfFile(const std::string& path);

}  // namespace camlift::sim
