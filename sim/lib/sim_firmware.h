// SPDX-License-Identifier: Apache-2.0
// Simulated firmware files: how a file that the simulated cameras accept carries its version.
//
// Layout (every series):
//   1. the signature of the series and kind, where its profile has one (sim_series.cpp: series M
//      only, "BNEG" (42 4E 45 47) for system firmware, BD 9A 0C 44 for UI firmware, which the
//      upgrader tests before it sends a file);
//   2. a text header of "key=value" lines ending in LF, closed by an empty line:
//        "CAMLIFT-SIM-FIRMWARE\nseries=M\nkind=sys\nversion=1.2.3.4\n\n"
//      (kind is "sys" or "ui"; the first line is the magic that marks a simulated file);
//   3. filler bytes up to the size asked for (a repeating, non-zero pattern, so that the file
//      is not all zeros and compresses like a real image would not: benchmarks can ask for
//      64 MiB files without building them in memory).
// A file smaller than signature + header is written with no filler (the header is never cut).
// The reader looks only at the first kMaxHeaderBytes bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sim_series.h"

namespace camlift::sim {

enum class TFirmwareKind { System, Ui };

struct TSimFirmwareInfo {
  TSimSeries series = TSimSeries::P;
  TFirmwareKind kind = TFirmwareKind::System;
  std::string version;
};

inline constexpr std::string_view kSimFirmwareMagic = "CAMLIFT-SIM-FIRMWARE";
inline constexpr std::size_t kMaxHeaderBytes = 4096;

// "sys"/"system"/"ui"; nullopt otherwise.
std::optional<TFirmwareKind> ParseKind(std::string_view text);
std::string KindText(TFirmwareKind kind);  // "sys" / "ui"

// The signature that starts a file of this series and kind (its profile's; mostly empty).
std::string_view FirmwareSignature(TSimSeries series, TFirmwareKind kind);

// Signature + header, without filler.
std::string FirmwareHeaderBytes(const TSimFirmwareInfo& info);

// Writes the file; false (with the reason in error) when it cannot be written, when the version
// holds a line break, or for a series whose firmware is a package (series K: pk2_builder.h).
bool WriteSimFirmware(const std::string& path, const TSimFirmwareInfo& info, std::uint64_t size,
                      std::string& error);

// Reads series, kind and version from the first bytes of a file. nullopt when the bytes do not
// start with a complete simulated header, when a series M file lacks the signature of its kind,
// or when the series, kind or version is missing or unknown.
std::optional<TSimFirmwareInfo> ReadSimFirmwareInfo(std::span<const char> head);
std::optional<TSimFirmwareInfo> ReadSimFirmwareFile(const std::string& path);

}  // namespace camlift::sim
