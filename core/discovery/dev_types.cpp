// SPDX-License-Identifier: Apache-2.0
#include "discovery/dev_types.h"

#include <algorithm>
#include <cctype>

#include "discovery/dev_info.h"
#include "discovery/search_dialects.h"

namespace camlift {
namespace {

// The type codes no search dialect produces; the dialects' own are part of their rows.
constexpr TDeviceType kOtherTypes[] = {
    {0, "K"},
    // The list keeps it longest; the service shortcut sends the IMAGIA command only to it.
    {kTypeS, "S", TSeries::None, {kLongLifetimeTicks, kLongLifetimeTicks}},
    {3, "M1"},
    {kTypeClosedLibrary, "P", TSeries::None, kKeptLifetime},
    {6, "L"},
    {7, "M2"},
    {999, "DSK"},
    {kTypeManual, "manual", TSeries::None, kKeptLifetime},
};

constexpr char kLowerHex[] = "0123456789abcdef";
constexpr char kUpperHex[] = "0123456789ABCDEF";

}  // namespace

const TDeviceType* FindDeviceType(std::int32_t code) {
  if (code == kTypeNone) return nullptr;
  for (const TDialect& dialect : DialectTable()) {
    if (dialect.type.code == code) return &dialect.type;
  }
  for (const TDeviceType& type : kOtherTypes) {
    if (type.code == code) return &type;
  }
  return nullptr;
}

std::span<const TDeviceType> TypesWithoutDialect() { return kOtherTypes; }

TLifetime LifetimeOf(std::int32_t code) {
  const TDeviceType* type = FindDeviceType(code);
  return type ? type->lifetime : kUsualLifetime;
}

TNameText NameTextOf(std::int32_t code) {
  const TDeviceType* type = FindDeviceType(code);
  return type ? type->name : TNameText::LanguageCodePage;
}

std::string DevTypeCaption(std::int32_t type) {
  const TDeviceType* row = FindDeviceType(type);
  return row ? std::string(row->caption) : std::string();
}

TSeries SeriesOfType(std::int32_t type) {
  const TDeviceType* row = FindDeviceType(type);
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
