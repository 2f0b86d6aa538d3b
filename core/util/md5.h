// SPDX-License-Identifier: Apache-2.0
// MD5 (RFC 1321) through OpenSSL's EVP interface: incremental, and over whole files streamed in
// blocks so that a firmware of any size costs the same memory.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace camlift {

class TMd5 {
 public:
  TMd5();
  ~TMd5();
  TMd5(const TMd5&) = delete;
  TMd5& operator=(const TMd5&) = delete;

  void Update(std::span<const std::uint8_t> bytes);
  void Update(const void* data, std::size_t size);
  // The 16-byte digest; the object starts over afterwards.
  std::array<std::uint8_t, 16> Final();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

std::string HexLower(std::span<const std::uint8_t> bytes);
// The 32 lower-case hex digits of a file's MD5, or nullopt when it cannot be opened or read.
std::optional<std::string> FileMd5Hex(const std::string& path);
std::string Md5Hex(std::string_view bytes);

}  // namespace camlift
