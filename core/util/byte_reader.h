// SPDX-License-Identifier: Apache-2.0
// The one reader every reply parser goes through. It never reads outside the bytes it was given:
// whatever lies past the end reads as zero, as if the datagram sat in a cleared buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace camlift {

class TByteReader {
 public:
  // limit: the size of the buffer the datagram is copied into (longer datagrams are cut there).
  explicit TByteReader(std::span<const std::uint8_t> bytes, std::size_t limit = SIZE_MAX);

  std::size_t size() const { return bytes_.size(); }
  std::uint8_t U8(std::size_t offset) const;
  std::uint16_t U16LE(std::size_t offset) const;
  std::uint16_t U16BE(std::size_t offset) const;
  std::uint32_t U32LE(std::size_t offset) const;
  // count bytes from offset, zero past the end.
  template <std::size_t N>
  std::array<std::uint8_t, N> Bytes(std::size_t offset) const {
    std::array<std::uint8_t, N> out{};
    for (std::size_t i = 0; i < N; ++i) out[i] = U8(offset + i);
    return out;
  }
  // A character array: ends at the first zero byte, at its width or at the end of the bytes.
  std::string Text(std::size_t offset, std::size_t width) const;
  // A text that ends only at a zero byte or at the end of the bytes.
  std::string TextToEnd(std::size_t offset) const { return Text(offset, SIZE_MAX); }
  // True when the bytes begin with prefix.
  bool StartsWith(std::string_view prefix) const;

 private:
  std::span<const std::uint8_t> bytes_;
};

}  // namespace camlift
