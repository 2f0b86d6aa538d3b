// SPDX-License-Identifier: Apache-2.0
#include "i18n/lang_format.h"

namespace camlift {

std::string LangFormat(std::string_view text, const std::vector<std::string>& values) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
      const auto index = static_cast<std::size_t>(text[i + 1] - '1');
      if (index < values.size()) {
        out += values[index];
        ++i;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

}  // namespace camlift
