// SPDX-License-Identifier: Apache-2.0
// Writing ".pk2" packages for simulated series K cameras and for tests: entries are given
// unscrambled and stored scrambled with the package key.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sim_firmware.h"

namespace camlift::sim {

// A package built in memory.
class TPk2Builder {
 public:
  TPk2Builder& AddFile(std::string_view name, std::string_view data);
  TPk2Builder& AddCommand(std::string_view command);
  // Any other four-byte type with its raw body, which a transfer steps over.
  TPk2Builder& AddRaw(std::string_view type, std::string_view body);
  // Writes this count into the header instead of the number of entries added.
  TPk2Builder& SetCount(std::int32_t count);
  // The whole package: header and entries.
  std::string Bytes() const;
  bool WriteTo(const std::string& path) const;

 private:
  void AddEntryHeader(std::string_view type, std::int32_t body_length);
  std::string entries_;
  std::int32_t added_ = 0;
  std::optional<std::int32_t> count_;
};

// The name of the firmware file inside a simulated package ("sys.img" or "ui.img").
std::string SimPackageFileName(TFirmwareKind kind);

// Writes the package a simulated K camera accepts: one FILE entry holding the simulated firmware
// file of info (header and filler up to size bytes, sim_firmware.h; a K camera installs it when
// info.series is K), then the CMD entry "upgrade <file name>". Streamed, so that benchmark packages
// of any size cost no memory. False with error set when the file cannot be written or the version
// holds a line break.
bool WriteSimPackage(const std::string& path, const TSimFirmwareInfo& info, std::uint64_t size,
                     std::string& error);

}  // namespace camlift::sim
