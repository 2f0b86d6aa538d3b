// SPDX-License-Identifier: Apache-2.0
#include "sim_firmware.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <vector>

#include "util/text.h"

namespace camlift::sim {

std::optional<TFirmwareKind> ParseKind(std::string_view text) {
  const std::string t = LowerAscii(text);
  if (t == "sys" || t == "system") return TFirmwareKind::System;
  if (t == "ui") return TFirmwareKind::Ui;
  return std::nullopt;
}

std::string KindText(TFirmwareKind kind) { return kind == TFirmwareKind::System ? "sys" : "ui"; }

std::string_view FirmwareSignature(TSimSeries series, TFirmwareKind kind) {
  const TSimSeriesProfile& profile = ProfileOf(series);
  return kind == TFirmwareKind::System ? profile.system_signature : profile.ui_signature;
}

std::string FirmwareHeaderBytes(const TSimFirmwareInfo& info) {
  std::string out(FirmwareSignature(info.series, info.kind));
  out += kSimFirmwareMagic;
  out += "\nseries=" + SeriesText(info.series) + "\nkind=" + KindText(info.kind) +
         "\nversion=" + info.version + "\n\n";
  return out;
}

bool WriteSimFirmware(const std::string& path, const TSimFirmwareInfo& info, std::uint64_t size,
                      std::string& error) {
  if (ProfileOf(info.series).delivery != TSimDelivery::UploadCgi) {
    error = "series K firmware is a package file that the CTP side of the simulator makes";
    return false;
  }
  if (info.version.empty() || info.version.find_first_of("\r\n") != std::string::npos) {
    error = "the version must be one non-empty line";
    return false;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    error = "cannot create " + path;
    return false;
  }
  const std::string header = FirmwareHeaderBytes(info);
  out.write(header.data(), static_cast<std::streamsize>(header.size()));
  std::uint64_t left = size > header.size() ? size - header.size() : 0;
  std::vector<char> block(1 << 16);
  for (std::size_t i = 0; i < block.size(); ++i) {
    block[i] = static_cast<char>(0x20 + (i * 7 + i / 251) % 0x5F);
  }
  while (left > 0 && out) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
    out.write(block.data(), static_cast<std::streamsize>(n));
    left -= n;
  }
  out.close();
  if (!out) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

std::optional<TSimFirmwareInfo> ReadSimFirmwareInfo(std::span<const char> head) {
  std::string_view text(head.data(), std::min(head.size(), kMaxHeaderBytes));
  // Which signature (if any) comes first decides where the header starts.
  std::optional<TFirmwareKind> signed_kind;
  for (const TSimSeriesProfile& profile : SeriesProfiles()) {
    for (const TFirmwareKind kind : {TFirmwareKind::System, TFirmwareKind::Ui}) {
      const std::string_view bytes = FirmwareSignature(profile.series, kind);
      if (signed_kind || bytes.empty() || !text.starts_with(bytes)) continue;
      signed_kind = kind;
      text.remove_prefix(bytes.size());
    }
  }
  if (text.substr(0, kSimFirmwareMagic.size() + 1) != std::string(kSimFirmwareMagic) + "\n") {
    return std::nullopt;
  }
  text.remove_prefix(kSimFirmwareMagic.size() + 1);
  const std::size_t end = text.find("\n\n");
  if (end == std::string_view::npos) return std::nullopt;
  text = text.substr(0, end + 1);

  std::optional<TSimSeries> series;
  std::optional<TFirmwareKind> kind;
  std::string version;
  while (!text.empty()) {
    const std::size_t eol = text.find('\n');
    const std::string_view line = text.substr(0, eol);
    text.remove_prefix(eol + 1);
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, eq);
    const std::string_view value = line.substr(eq + 1);
    if (key == "series") series = ParseSeries(value);
    if (key == "kind") kind = ParseKind(value);
    if (key == "version") version = std::string(value);
  }
  if (!series || !kind || version.empty()) return std::nullopt;
  // A file of a series with signatures must carry the one of its own kind, exactly as the camera
  // would check.
  const bool needs_signature = !FirmwareSignature(*series, *kind).empty();
  if (needs_signature != signed_kind.has_value()) return std::nullopt;
  if (signed_kind && *signed_kind != *kind) return std::nullopt;
  return TSimFirmwareInfo{*series, *kind, version};
}

std::optional<TSimFirmwareInfo> ReadSimFirmwareFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::array<char, kMaxHeaderBytes> buffer{};
  in.read(buffer.data(), buffer.size());
  return ReadSimFirmwareInfo(
      std::span<const char>(buffer.data(), static_cast<std::size_t>(in.gcount())));
}

}  // namespace camlift::sim
