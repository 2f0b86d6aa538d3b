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

}  // namespace camlift
