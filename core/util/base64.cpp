// SPDX-License-Identifier: Apache-2.0
#include "util/base64.h"

#include <string>

namespace camlift {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kLineBytes = 57;  // 57 input bytes make one 76-character MIME line

void EncodeGroups(std::string_view in, std::string& out) {
  std::size_t i = 0;
  for (; i + 3 <= in.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(in[i]) << 16) |
                       (static_cast<unsigned char>(in[i + 1]) << 8) |
                       static_cast<unsigned char>(in[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const std::size_t rest = in.size() - i;
  if (rest == 1) {
    const unsigned v = static_cast<unsigned char>(in[i]) << 16;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (rest == 2) {
    const unsigned v =
        (static_cast<unsigned char>(in[i]) << 16) | (static_cast<unsigned char>(in[i + 1]) << 8);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
}

}  // namespace

std::uint32_t Base64EncodedLength(std::uint32_t n) {
  if (n == 0) return 0;
  return 4 * ((n + 2) / 3) + 2 * ((n - 1) / kLineBytes);
}

std::string Base64Encode(std::string_view data) {
  std::string out;
  if (data.empty()) return out;
  out.reserve(Base64EncodedLength(static_cast<std::uint32_t>(data.size())));
  for (std::size_t pos = 0; pos < data.size(); pos += kLineBytes) {
    if (pos) out += "\r\n";
    EncodeGroups(data.substr(pos, kLineBytes), out);
  }
  return out;
}

std::string Base64EncodeOneLine(std::string_view data) {
  std::string out;
  out.reserve(4 * ((data.size() + 2) / 3));
  EncodeGroups(data, out);
  return out;
}

std::optional<std::string> Base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::size_t padding = 0;
  while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') {
    ++padding;
  }
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const std::size_t pad = i + 4 == text.size() ? padding : 0;
    unsigned v = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      v <<= 6;
      if (k >= 4 - pad) continue;  // "=" in the last group
      const char* at = std::char_traits<char>::find(kAlphabet, 64, text[i + k]);
      if (!at) return std::nullopt;
      v |= static_cast<unsigned>(at - kAlphabet);
    }
    out += static_cast<char>((v >> 16) & 255);
    if (pad < 2) out += static_cast<char>((v >> 8) & 255);
    if (pad < 1) out += static_cast<char>(v & 255);
  }
  return out;
}

}  // namespace camlift
