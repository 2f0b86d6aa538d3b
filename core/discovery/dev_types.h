// SPDX-License-Identifier: Apache-2.0
// Helpers around the camera record: what a type code means (caption, series, how long its cameras
// stay listed, how their names are written), identity texts and the text clean-up for output.
// The types a search dialect produces are part of its row (discovery/search_dialects.cpp); the
// others are a table in dev_types.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "discovery/series.h"

namespace camlift {

struct TDevInfo;

// How long a listed camera of a type stays without a reply, in search ticks.
struct TLifetime {
  std::int32_t first = 10;      // a new entry
  std::int32_t refreshed = 10;  // an entry a reply refreshed
  // False: no broadcast refreshes such an entry (the closed library's, a typed-in camera), and
  // it stays until the list is emptied.
  bool expires = true;
};
inline constexpr std::int32_t kLifetimeTicks = 10;
inline constexpr std::int32_t kLongLifetimeTicks = 30;
inline constexpr TLifetime kUsualLifetime{kLifetimeTicks, kLifetimeTicks};
inline constexpr TLifetime kKeptLifetime{kLifetimeTicks, kLifetimeTicks, false};

// How a camera of a type writes its name: in the code page of the language it was set up with
// (unless the name is valid UTF-8 anyway), or always in UTF-8 (what the dialect states).
enum class TNameText { LanguageCodePage, Utf8 };

// What a type code means.
struct TDeviceType {
  std::int32_t code = -1;
  std::string_view caption{};  // the list's Type column
  TSeries series = TSeries::None;
  TLifetime lifetime = kUsualLifetime;
  TNameText name = TNameText::LanguageCodePage;
};

// The type of a code: a dialect's row or one of the types no dialect produces; nullptr for an
// unknown code (and for -1).
const TDeviceType* FindDeviceType(std::int32_t code);
// The types no search dialect produces.
std::span<const TDeviceType> TypesWithoutDialect();
// The lifetime and the name text of a code; an unknown code has the usual lifetime and a name in
// the language's code page.
TLifetime LifetimeOf(std::int32_t code);
TNameText NameTextOf(std::int32_t code);

// Type codes the search dialects produce.
inline constexpr std::int32_t kTypeNone = -1;
// Caption "S": no dialect produces it; the list keeps it longest and the service shortcut sends
// the IMAGIA command only to it.
inline constexpr std::int32_t kTypeS = 1;
inline constexpr std::int32_t kTypeMOI = 2;
inline constexpr std::int32_t kTypeClosedLibrary = 4;
inline constexpr std::int32_t kTypeText = 5;
inline constexpr std::int32_t kType1010 = 8;
inline constexpr std::int32_t kType8600 = 9;
// A camera the user asked for by address (no dialect; its series is what its probe told).
inline constexpr std::int32_t kTypeManual = 1000;

// Text of the list's Type column; empty for an unknown code.
std::string DevTypeCaption(std::int32_t type);
// The series of a camera found with this type code; None when the code tells no series.
TSeries SeriesOfType(std::int32_t type);
// The series of a listed camera: that of its type, or for a typed-in camera what its probe told.
TSeries SeriesOfDevice(const TDevInfo& device);
// The same as the index handed to the main window: 0 = K, 1 = M, 2 = P, 3 = R, -1 = none.
int TypeToSeries(std::int32_t type);
// Removes every "-" and ":", turns every blank into "0", upper-cases the rest.
std::string NormalizeID(std::string_view id);
// Six bytes as 12 lower-case hex digits without separators.
std::string MacToHex(std::span<const std::uint8_t, 6> mac);
// Six bytes as upper-case two-digit hex numbers joined by ":" (the 8600 form).
std::string MacToColonHex(std::span<const std::uint8_t, 6> mac);
// A MAC address typed by a user: 12 hex digits, or six pairs joined by ":" or by "-"
// ("00:1A:2B:3C:4D:5E"). Its 12 digits in lower case, or nullopt for anything else.
std::optional<std::string> MacDigits(std::string_view text);

}  // namespace camlift
