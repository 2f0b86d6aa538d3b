// SPDX-License-Identifier: Apache-2.0
// The rules that outside texts pass before they are shown: ShownText (valid UTF-8, no control
// character) and WithoutUrlAccounts (no account of a URL), also as a log line.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "util/log_line.h"
#include "util/text_fields.h"

namespace {

// No C0 control, no DEL, no C1 (U+0080..U+009F as UTF-8), no bidirectional control and no line
// or paragraph separator, no byte outside a UTF-8 sequence.
bool Harmless(const std::string& text) {
  using camlift::ToValidUtf8;
  if (ToValidUtf8(text) != text) return false;
  static const std::string kLayoutControls[] = {"\u061C", "\u200E", "\u200F", "\u2028", "\u2029",
                                                "\u202A", "\u202B", "\u202C", "\u202D", "\u202E",
                                                "\u2066", "\u2067", "\u2068", "\u2069"};
  for (const std::string& control : kLayoutControls) {
    if (text.find(control) != std::string::npos) return false;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) return false;
    if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace camlift;
  const std::string_view input = fuzz::AsText(data, size);
  const std::string shown = ShownText(input);
  FUZZ_CHECK(Harmless(shown));
  FUZZ_CHECK(ShownText(shown) == shown);

  const std::string without = WithoutUrlAccounts(input);
  // Only accounts go: nothing is added but "***", and a second pass changes nothing.
  FUZZ_CHECK(WithoutUrlAccounts(without) == without);
  FUZZ_CHECK(without.size() <= input.size() + 3 * (input.size() / 3 + 1));

  const std::string line = FormatLogLine(std::string(input), 0);
  FUZZ_CHECK(Harmless(line));
  return 0;
}
