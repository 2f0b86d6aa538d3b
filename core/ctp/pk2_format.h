// SPDX-License-Identifier: Apache-2.0
// The ".pk2" package of series K firmware: a 28-byte header ("PK2\0", 20 unread bytes, the entry
// count at offset 24) followed by entries, each a 24-byte header (type at 0, body length at 20)
// and a body. FILE bodies are name length, name, data length, data; CMD bodies are a command
// text. Data and command texts are stored XORed with an 8-byte key. All integers are 32-bit
// little-endian and signed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace camlift {

struct Pk2Layout {
  static constexpr std::string_view kMagic{"PK2\0", 4};
  static constexpr std::size_t kHeaderSize = 28;
  static constexpr std::size_t kCountOffset = 24;
  static constexpr std::size_t kEntryHeaderSize = 24;
  static constexpr std::size_t kTypeOffset = 0;
  static constexpr std::size_t kBodyLengthOffset = 20;
  static constexpr std::string_view kFileType = "FILE";
  static constexpr std::string_view kCmdType = "CMD ";
  // The camera keeps file names in a 256-byte field with its terminator.
  static constexpr std::int32_t kMaxNameLength = 255;
};

inline constexpr std::array<std::uint8_t, 8> kPk2Key = {0x5C, 0xE2, 0x17, 0x9B,
                                                        0x04, 0xD8, 0x6F, 0x3A};

// Sizes of the CTP session's buffers, which bound what one request may carry.
struct CtpLimits {
  static constexpr std::size_t kSendBuffer = 2048;
  static constexpr std::size_t kReceiveBuffer = 200;
  // A multiple of the key length, so that restarting the key at every block changes nothing.
  static constexpr std::int32_t kBlockSize = 1400;
  // The longest CMD payload that fits behind its "CMD <L>\r\n" line in the send buffer.
  static constexpr std::int32_t kMaxCommandPayload = 2038;
};
static_assert(CtpLimits::kBlockSize % kPk2Key.size() == 0);

// XORs data with the key, byte j of data with key byte (first + j) mod 8. Scrambling and
// unscrambling are the same operation.
void Pk2Scramble(std::span<std::uint8_t> data, std::size_t first = 0);
void Pk2Scramble(std::span<char> data, std::size_t first = 0);

std::int32_t ReadLe32(const std::uint8_t* bytes);
void WriteLe32(std::uint8_t* bytes, std::int32_t value);

// True when the first bytes up to the first zero byte spell exactly "PK2" (the whole 28-byte
// header must be present).
bool IsPk2Header(std::span<const std::uint8_t> header);

// The local name of the package unpacked from a repository archive: the archive's name trimmed,
// its last four characters replaced by ".pk2" (a name of three characters or fewer keeps them).
std::string Pk2LocalFileName(const std::string& repository_file);

// One entry of a package as the inspector sees it.
struct TPk2Entry {
  std::string type;         // the four type bytes, non-printable ones as '?'
  std::string name;         // FILE only
  std::int64_t offset = 0;  // of the entry header in the file
  std::int64_t size = 0;    // FILE: data length; CMD: payload length; others: bytes skipped
  std::string md5;          // FILE and CMD: MD5 of the unscrambled data, 32 lower-case digits
  std::string command;      // CMD: the unscrambled command text (printable characters only)
  bool skipped = false;     // an unknown type that the transfer steps over
};

struct TPk2Report {
  bool ok = false;
  std::string error;  // the first problem found, with the entry number and offset
  std::int32_t count = 0;
  std::vector<TPk2Entry> entries;  // those read before any problem
  std::int64_t trailing = 0;       // bytes after the last entry (allowed, never sent)
};

// Reads a whole package held in memory and checks everything a camera transfer relies on:
// the header, a non-negative entry count, every entry inside the file, FILE names of 1 to 255
// bytes, FILE data of at least one byte, CMD payloads that fit the send buffer, and no negative
// skip lengths.
TPk2Report InspectPk2(std::span<const std::uint8_t> package);

}  // namespace camlift
