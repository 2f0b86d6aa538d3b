// SPDX-License-Identifier: Apache-2.0
#include "upgrade/firmware_check.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ctp/pk2_format.h"

namespace camlift {
namespace {

std::string HexBytes(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (const std::uint8_t b : bytes) {
    char part[4];
    std::snprintf(part, sizeof part, "%02X", b);
    if (!text.empty()) text += ' ';
    text += part;
  }
  return text;
}

}  // namespace

TFirmwareVerdict CheckFirmwareBytes(const TFirmwareForm& form, std::span<const std::uint8_t> head,
                                    std::uint64_t size) {
  if (size < kMinFirmwareBytes) {
    return {"IDS_FWTOOSMALL", {std::to_string(size), std::to_string(kMinFirmwareBytes)}};
  }
  if (size > kMaxFirmwareBytes) {
    return {"IDS_FWTOOLARGE", {std::to_string(size), std::to_string(kMaxFirmwareBytes)}};
  }
  switch (form.kind) {
    case TFirmwareForm::Kind::Any:
      return {};
    case TFirmwareForm::Kind::Signature: {
      const std::span<const std::uint8_t> start = head.first(std::min<std::size_t>(4, head.size()));
      if (std::equal(start.begin(), start.end(), form.signature.begin(), form.signature.end())) {
        return {};
      }
      return {"IDS_FWSIGNATURE", {HexBytes(start), HexBytes(form.signature)}};
    }
    case TFirmwareForm::Kind::Package:
      if (head.size() >= Pk2Layout::kHeaderSize && IsPk2Header(head)) return {};
      return {"IDS_FWNOTPACKAGE", {}};
  }
  return {};
}

TFirmwareVerdict CheckFirmwareFile(const TFirmwareForm& form, const std::string& path) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  std::ifstream in(path, std::ios::binary);
  if (ec || !in) return {"IDS_FWUNREADABLE", {path}};
  std::array<std::uint8_t, kFirmwareHeadBytes> head{};
  in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  const auto got = static_cast<std::size_t>(in.gcount());
  return CheckFirmwareBytes(form, std::span(head.data(), got), size);
}

}  // namespace camlift
