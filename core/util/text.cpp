// SPDX-License-Identifier: Apache-2.0
#include "util/text.h"

namespace camlift {

std::string TrimText(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return std::string(text.substr(begin, end - begin));
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

std::string VersionWithoutV(std::string_view version) {
  std::string out(version);
  std::erase(out, 'v');
  return TrimText(out);
}

bool QuotedValueAfter(const std::string& page, const std::string& key, char quote,
                      std::string& value) {
  const std::size_t at = page.find(key);
  if (at == std::string::npos) return false;
  const std::size_t start = at + key.size() + 2;  // the assignment sign and the opening quote
  if (start >= page.size()) {
    value.clear();
    return true;
  }
  const std::size_t end = page.find(quote, start);
  value = end == std::string::npos ? std::string() : page.substr(start, end - start);
  return true;
}

}  // namespace camlift
