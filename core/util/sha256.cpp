// SPDX-License-Identifier: Apache-2.0
#include "util/sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <memory>
#include <vector>

#include "util/md5.h"

namespace camlift {
namespace {

struct MdCtxFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

MdCtx NewSha256() {
  MdCtx ctx(EVP_MD_CTX_new());
  if (ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) ctx.reset();
  return ctx;
}

std::optional<std::string> Finish(EVP_MD_CTX* ctx) {
  std::array<std::uint8_t, 32> digest{};
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx, digest.data(), &length) != 1 || length != digest.size()) {
    return std::nullopt;
  }
  return HexLower(digest);
}

}  // namespace

std::optional<std::string> FileSha256Hex(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  MdCtx ctx = NewSha256();
  if (!ctx) return std::nullopt;
  std::vector<std::uint8_t> block(1 << 20);
  for (;;) {
    const ssize_t n = ::read(fd, block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    if (EVP_DigestUpdate(ctx.get(), block.data(), static_cast<std::size_t>(n)) != 1) {
      return std::nullopt;
    }
  }
  return Finish(ctx.get());
}

std::string Sha256Hex(std::string_view bytes) {
  MdCtx ctx = NewSha256();
  if (!ctx || EVP_DigestUpdate(ctx.get(), bytes.data(), bytes.size()) != 1) return {};
  return Finish(ctx.get()).value_or("");
}

bool FileMatchesSha256(const std::string& path, const std::string& expected) {
  const auto first = expected.find_first_not_of(" \t\r\n");
  const auto last = expected.find_last_not_of(" \t\r\n");
  std::string wanted =
      first == std::string::npos ? std::string() : expected.substr(first, last - first + 1);
  for (char& c : wanted) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::optional<std::string> actual = FileSha256Hex(path);
  return actual && wanted.size() == 64 && *actual == wanted;
}

}  // namespace camlift
