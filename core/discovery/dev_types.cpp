// SPDX-License-Identifier: Apache-2.0
#include "discovery/dev_types.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "discovery/dev_info.h"

namespace camlift {
namespace {

struct TTypeRow {
  std::int32_t type;
  std::string_view caption;
  TSeries series;
};

constexpr std::array<TTypeRow, 12> kTypeRows{{
    {0, "K", TSeries::None},
    {kTypeS, "S", TSeries::None},
    {kTypeMOI, "M", TSeries::M},
    {3, "M1", TSeries::None},
    {kTypeClosedLibrary, "P", TSeries::None},
    {kTypeText, "K", TSeries::K},
    {6, "L", TSeries::None},
    {7, "M2", TSeries::None},
    {kType1010, "P", TSeries::P},
    {kType8600, "R", TSeries::R},
    {999, "DSK", TSeries::None},
    {kTypeManual, "manual", TSeries::None},
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

TSeries SeriesOfType(std::int32_t type) {
  const TTypeRow* row = FindType(type);
  return row ? row->series : TSeries::None;
}

TSeries SeriesOfDevice(const TDevInfo& device) {
  return device.DevType == kTypeManual ? device.ProbedSeries : SeriesOfType(device.DevType);
}

int TypeToSeries(std::int32_t type) { return SeriesIndex(SeriesOfType(type)); }

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

std::optional<std::string> MacDigits(std::string_view text) {
  std::string digits;
  char separator = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (std::isxdigit(static_cast<unsigned char>(c))) {
      digits += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      continue;
    }
    // A separator only between two pairs, and the same one each time.
    if ((c != ':' && c != '-') || digits.size() % 2 != 0 || digits.empty() ||
        (separator != 0 && c != separator)) {
      return std::nullopt;
    }
    separator = c;
    if (i + 1 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
      return std::nullopt;
    }
  }
  if (digits.size() != 12) return std::nullopt;
  if (separator != 0 &&
      static_cast<std::size_t>(std::count(text.begin(), text.end(), separator)) != 5) {
    return std::nullopt;
  }
  return digits;
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
