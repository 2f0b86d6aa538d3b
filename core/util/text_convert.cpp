// SPDX-License-Identifier: Apache-2.0
#include "util/text_convert.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace camlift {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

struct IconvCloser {
  void operator()(iconv_t cd) const { iconv_close(cd); }
};
using IconvHandle = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

IconvHandle OpenIconv(const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return IconvHandle(cd);
}

// How many bytes to step over at an input sequence the conversion refused: one byte of a code
// page, a whole character of UTF-8 (so that one unrepresentable character gives one mark).
std::size_t SkipLength(const char* in, std::size_t in_left, bool from_utf8) {
  if (!from_utf8) return 1;
  const auto lead = static_cast<unsigned char>(*in);
  std::size_t n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  n = std::min(n, in_left);
  for (std::size_t i = 1; i < n; ++i) {
    if ((static_cast<unsigned char>(in[i]) & 0xC0) != 0x80) return i;
  }
  return n;
}

// Converts bytes; an invalid or incomplete sequence becomes `bad` and conversion goes on after it.
std::string Convert(std::string_view bytes, const char* to, const char* from,
                    std::string_view bad) {
  const bool from_utf8 = std::string_view(from) == "UTF-8";
  IconvHandle cd = OpenIconv(to, from);
  if (!cd) {
    // An unknown code page (not expected: the names are fixed) must not lose the text: keep the
    // ASCII bytes and mark everything else.
    std::string out;
    for (const char c : bytes) {
      if (static_cast<unsigned char>(c) < 0x80) {
        out += c;
      } else {
        out += bad;
      }
    }
    return out;
  }
  std::string out;
  out.reserve(bytes.size() * 2);
  char* in = const_cast<char*>(bytes.data());
  std::size_t in_left = bytes.size();
  char buffer[1024];
  while (in_left > 0) {
    char* dst = buffer;
    std::size_t dst_left = sizeof buffer;
    const std::size_t rc = iconv(cd.get(), &in, &in_left, &dst, &dst_left);
    out.append(buffer, static_cast<std::size_t>(dst - buffer));
    if (rc != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL (a sequence cut off at the end): mark it and go on after that byte.
    out += bad;
    const std::size_t skip = SkipLength(in, in_left, from_utf8);
    in += skip;
    in_left -= skip;
    iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  }
  // Flush any shift state.
  char* dst = buffer;
  std::size_t dst_left = sizeof buffer;
  iconv(cd.get(), nullptr, nullptr, &dst, &dst_left);
  out.append(buffer, static_cast<std::size_t>(dst - buffer));
  return out;
}

}  // namespace

const char* LanguageCodePage(std::string_view language_code) {
  if (language_code == "b5") return "CP950";
  if (language_code == "jp") return "CP932";
  return "GBK";
}

std::string ToUtf8(std::string_view bytes, const char* code_page) {
  return Convert(bytes, "UTF-8", code_page, kReplacement);
}

std::string FromUtf8(std::string_view utf8, const char* code_page) {
  return Convert(utf8, code_page, "UTF-8", "?");
}

std::string LangToUtf8(std::string_view bytes, std::string_view language_code) {
  return ToUtf8(bytes, LanguageCodePage(language_code));
}

std::string Utf8ToLang(std::string_view utf8, std::string_view language_code) {
  return FromUtf8(utf8, LanguageCodePage(language_code));
}

}  // namespace camlift
