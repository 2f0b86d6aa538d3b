// SPDX-License-Identifier: Apache-2.0
// What a firmware file must look like before it goes to a camera of a series: the package header
// of series K, the four signature bytes of series M (per kind), and for every series a size
// that a firmware can have. A file that fails is refused before it reaches the verified cache
// or the camera: one rule for "Upgrade from file..." and the command line's --firmware.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace camlift {

struct TFirmwareForm {
  enum class Kind {
    Any,        // series P and R: the cameras check the file themselves
    Signature,  // series M: the first four bytes of the kind
    Package,    // series K: a ".pk2" package
  };
  Kind kind = Kind::Any;
  std::array<std::uint8_t, 4> signature{};
};

// A firmware image is megabytes; a file below a kilobyte is a note, a link or a cut download.
inline constexpr std::uint64_t kMinFirmwareBytes = 1024;
inline constexpr std::uint64_t kMaxFirmwareBytes = 256ull << 20;
// The bytes of the file's start that the check reads (the whole package header of series K).
inline constexpr std::size_t kFirmwareHeadBytes = 28;

// Why a file is refused: an IDS_ key whose "%1"... stand for values; empty key: accepted.
struct TFirmwareVerdict {
  std::string key;
  std::vector<std::string> values = {};
  bool ok() const { return key.empty(); }
};

// head: the first kFirmwareHeadBytes bytes of the file (fewer when the file is shorter); size:
// the whole file's size.
TFirmwareVerdict CheckFirmwareBytes(const TFirmwareForm& form, std::span<const std::uint8_t> head,
                                    std::uint64_t size);
// The same for a file on disk (a file that cannot be read is refused).
TFirmwareVerdict CheckFirmwareFile(const TFirmwareForm& form, const std::string& path);

}  // namespace camlift
