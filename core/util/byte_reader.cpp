// SPDX-License-Identifier: Apache-2.0
#include "util/byte_reader.h"

#include <algorithm>
#include <cstring>

namespace camlift {

TByteReader::TByteReader(std::span<const std::uint8_t> bytes, std::size_t limit)
    : bytes_(bytes.first(std::min(bytes.size(), limit))) {}

std::uint8_t TByteReader::U8(std::size_t offset) const {
  return offset < bytes_.size() ? bytes_[offset] : 0;
}

std::uint16_t TByteReader::U16LE(std::size_t offset) const {
  return static_cast<std::uint16_t>(U8(offset) | (U8(offset + 1) << 8));
}

std::uint16_t TByteReader::U16BE(std::size_t offset) const {
  return static_cast<std::uint16_t>((U8(offset) << 8) | U8(offset + 1));
}

std::uint32_t TByteReader::U32LE(std::size_t offset) const {
  return static_cast<std::uint32_t>(U16LE(offset)) |
         (static_cast<std::uint32_t>(U16LE(offset + 2)) << 16);
}

std::string TByteReader::Text(std::size_t offset, std::size_t width) const {
  if (offset >= bytes_.size()) return {};
  const std::size_t available = std::min(width, bytes_.size() - offset);
  const auto* begin = bytes_.data() + offset;
  const auto* zero = static_cast<const std::uint8_t*>(std::memchr(begin, 0, available));
  const std::size_t length = zero ? static_cast<std::size_t>(zero - begin) : available;
  return std::string(reinterpret_cast<const char*>(begin), length);
}

bool TByteReader::StartsWith(std::string_view prefix) const {
  return bytes_.size() >= prefix.size() &&
         std::memcmp(bytes_.data(), prefix.data(), prefix.size()) == 0;
}

}  // namespace camlift
