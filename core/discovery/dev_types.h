// SPDX-License-Identifier: Apache-2.0
// Helpers around the camera record: captions and series of the type codes, identity texts and the
// text clean-up for output.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "discovery/series.h"

namespace camlift {

struct TDevInfo;

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
