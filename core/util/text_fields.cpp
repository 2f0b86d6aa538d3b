// SPDX-License-Identifier: Apache-2.0
#include "util/text_fields.h"

namespace camlift {
namespace {

// Length of the well-formed UTF-8 sequence at text[i], or 0 when the byte there starts none.
std::size_t SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  }
  return length;
}

// Whether the valid UTF-8 at text[i] starts a character that changes how the text around it is
// laid out rather than one that is shown: the bidirectional controls (U+061C, U+200E, U+200F,
// U+202A..U+202E, U+2066..U+2069), which can make a line read in an order other than its bytes',
// and the line and paragraph separators U+2028, U+2029. Returns its length in bytes, else 0.
std::size_t LayoutControlLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  if (i + 1 < text.size() && byte(i) == 0xD8 && byte(i + 1) == 0x9C) return 2;
  if (i + 2 >= text.size() || byte(i) != 0xE2) return 0;
  const unsigned char second = byte(i + 1), third = byte(i + 2);
  if (second == 0x80 && (third == 0x8E || third == 0x8F || (third >= 0xA8 && third <= 0xAE))) {
    return 3;
  }
  if (second == 0x81 && third >= 0xA6 && third <= 0xA9) return 3;
  return 0;
}

}  // namespace

std::string ToValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = SequenceLength(text, i);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  return out;
}

// One CSV field. Names come from the cameras: a text a spreadsheet would take for a formula
// gets a leading apostrophe, and quotes, separators and line breaks are quoted.
std::string CsvField(const std::string& raw) {
  std::string text = ShownText(raw);
  if (text.empty()) return text;
  if (std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos) {
    text.insert(text.begin(), '\'');
  }
  if (text.find_first_of(",\"\r\n") == std::string::npos && text.front() != ' ' &&
      text.back() != ' ') {
    return text;
  }
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string ShownText(std::string_view raw) {
  const std::string text = ToValidUtf8(raw);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < ' ' || c == 0x7F) {
      out += ' ';
    } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      out += ' ';  // U+0080..U+009F: valid UTF-8 here, so the second byte is there
      ++i;
    } else if (const std::size_t length = LayoutControlLength(text, i); length != 0) {
      out += ' ';
      i += length - 1;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string WithoutUrlAccounts(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t from = 0;
  for (std::size_t scheme_end; (scheme_end = text.find("://", from)) != std::string_view::npos;) {
    const std::size_t authority = scheme_end + 3;
    // The authority ends at the path, query or fragment, or where the URL ends in a text.
    std::size_t end = authority;
    while (end < text.size() &&
           std::string_view("/?#\\ \t\r\n\"'<>").find(text[end]) == std::string_view::npos) {
      ++end;
    }
    const std::size_t at = text.substr(authority, end - authority).rfind('@');
    out.append(text.substr(from, authority - from));
    if (at != std::string_view::npos) {
      out += "***";
      from = authority + at;  // the '@' and the host stay
    } else {
      from = authority;
    }
  }
  out.append(text.substr(from));
  return out;
}

}  // namespace camlift
