// SPDX-License-Identifier: Apache-2.0
#include "util/md5.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <vector>

namespace camlift {

struct TMd5::Context {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  ~Context() { EVP_MD_CTX_free(ctx); }
};

TMd5::TMd5() : context_(std::make_unique<Context>()) {
  if (!context_->ctx || EVP_DigestInit_ex(context_->ctx, EVP_md5(), nullptr) != 1) {
    throw std::runtime_error("MD5 is not available");
  }
}

TMd5::~TMd5() = default;

void TMd5::Update(const void* data, std::size_t size) {
  EVP_DigestUpdate(context_->ctx, data, size);
}

void TMd5::Update(std::span<const std::uint8_t> bytes) { Update(bytes.data(), bytes.size()); }

std::array<std::uint8_t, 16> TMd5::Final() {
  std::array<std::uint8_t, 16> digest{};
  unsigned int length = 0;
  EVP_DigestFinal_ex(context_->ctx, digest.data(), &length);
  EVP_DigestInit_ex(context_->ctx, EVP_md5(), nullptr);
  return digest;
}

std::string HexLower(std::span<const std::uint8_t> bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t b : bytes) {
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
  return text;
}

std::optional<std::string> FileMd5Hex(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  std::vector<std::uint8_t> block(1 << 20);
  TMd5 md5;
  for (;;) {
    const ssize_t n = ::read(fd, block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    md5.Update(block.data(), static_cast<std::size_t>(n));
  }
  const auto digest = md5.Final();
  return HexLower(digest);
}

std::string Md5Hex(std::string_view bytes) {
  TMd5 md5;
  md5.Update(bytes.data(), bytes.size());
  const auto digest = md5.Final();
  return HexLower(digest);
}

}  // namespace camlift
