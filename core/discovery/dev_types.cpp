#include "discovery/dev_types.h"

#include <array>

namespace camlift {
namespace {

struct TTypeRow {
  std::int32_t type;
  std::string_view caption;
  int series;
};

constexpr std::array<TTypeRow, 12> kTypeRows{{
    {0, "K", -1},
    {1, "S", -1},
    {kTypeMOI, "M", 1},
    {3, "M1", -1},
    {kTypeClosedLibrary, "P", -1},
    {kTypeText, "K", 0},
    {6, "L", -1},
    {7, "M2", -1},
    {kType1010, "P", 2},
    {kType8600, "R", 3},
    {999, "DSK", -1},
    {kTypeManual, "manual", -1},
}};

const TTypeRow* FindType(std::int32_t type) {
  for (const TTypeRow& row : kTypeRows) {
    if (row.type == type) return &row;
  }
  return nullptr;
}

constexpr char kLowerHex[] = "0123456789abcdef";
constexpr char kUpperHex[] = "0123456789ABCDEF";

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

}  // namespace

std::string DevTypeCaption(std::int32_t type) {
  const TTypeRow* row = FindType(type);
  return row ? std::string(row->caption) : std::string();
}

int TypeToSeries(std::int32_t type) {
  const TTypeRow* row = FindType(type);
  return row ? row->series : -1;
}

std::string NormalizeID(std::string_view id) {
  std::string out;
  out.reserve(id.size());
  for (char c : id) {
    if (c == '-' || c == ':') continue;
    if (c == ' ') c = '0';
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    out += c;
  }
  return out;
}

std::string MacToHex(std::span<const std::uint8_t, 6> mac) {
  std::string out;
  for (std::uint8_t b : mac) {
    out += kLowerHex[b >> 4];
    out += kLowerHex[b & 0x0F];
  }
  return out;
}

std::string MacToColonHex(std::span<const std::uint8_t, 6> mac) {
  std::string out;
  for (std::uint8_t b : mac) {
    if (!out.empty()) out += ':';
    out += kUpperHex[b >> 4];
    out += kUpperHex[b & 0x0F];
  }
  return out;
}

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

}  // namespace camlift
