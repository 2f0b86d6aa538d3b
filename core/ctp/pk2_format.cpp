// SPDX-License-Identifier: Apache-2.0
#include "ctp/pk2_format.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "util/md5.h"

namespace camlift {
namespace {

template <typename Byte>
void ScrambleBytes(std::span<Byte> data, std::size_t first) {
  // Eight bytes at a time with the key turned to where the data starts: every data block of a
  // transfer goes through here.
  constexpr std::size_t kWidth = sizeof(std::uint64_t);
  static_assert(kPk2Key.size() == kWidth);
  std::array<std::uint8_t, kWidth> turned{};
  for (std::size_t i = 0; i < kWidth; ++i) turned[i] = kPk2Key[(first + i) % kWidth];
  std::uint64_t key = 0;
  std::memcpy(&key, turned.data(), kWidth);
  std::size_t j = 0;
  for (; j + kWidth <= data.size(); j += kWidth) {
    std::uint64_t word = 0;
    std::memcpy(&word, data.data() + j, kWidth);
    word ^= key;
    std::memcpy(data.data() + j, &word, kWidth);
  }
  for (; j < data.size(); ++j) {
    data[j] = static_cast<Byte>(static_cast<std::uint8_t>(data[j]) ^ turned[j % kWidth]);
  }
}

std::string PrintableType(const std::uint8_t* bytes) {
  std::string type(reinterpret_cast<const char*>(bytes), 4);
  for (char& c : type) {
    if (c < 0x20 || c > 0x7e) c = '?';
  }
  return type;
}

// MD5 of stored data after unscrambling, without copying the whole of it.
std::string UnscrambledMd5(std::span<const std::uint8_t> stored, std::string* text) {
  TMd5 md5;
  std::array<std::uint8_t, 4096> chunk;
  for (std::size_t done = 0; done < stored.size();) {
    const std::size_t n = std::min(chunk.size(), stored.size() - done);
    std::memcpy(chunk.data(), stored.data() + done, n);
    Pk2Scramble(std::span(chunk.data(), n), done);
    md5.Update(chunk.data(), n);
    if (text) {
      for (std::size_t i = 0; i < n; ++i) {
        const char c = static_cast<char>(chunk[i]);
        if (c >= 0x20 && c <= 0x7e)
          text->push_back(c);
        else if (c == '\n' || c == '\r' || c == '\t')
          text->push_back(' ');
      }
    }
    done += n;
  }
  const auto digest = md5.Final();
  return HexLower(digest);
}

}  // namespace

void Pk2Scramble(std::span<std::uint8_t> data, std::size_t first) { ScrambleBytes(data, first); }
void Pk2Scramble(std::span<char> data, std::size_t first) { ScrambleBytes(data, first); }

std::int32_t ReadLe32(const std::uint8_t* bytes) {
  const std::uint32_t value =
      static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
      static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
  return static_cast<std::int32_t>(value);
}

void WriteLe32(std::uint8_t* bytes, std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

bool IsPk2Header(std::span<const std::uint8_t> header) {
  if (header.size() < Pk2Layout::kHeaderSize) return false;
  return std::memcmp(header.data(), Pk2Layout::kMagic.data(), Pk2Layout::kMagic.size()) == 0;
}

std::string Pk2LocalFileName(const std::string& repository_file) {
  const std::size_t first = repository_file.find_first_not_of(" \t\r\n");
  std::string name =
      first == std::string::npos
          ? std::string()
          : repository_file.substr(first, repository_file.find_last_not_of(" \t\r\n") - first + 1);
  if (name.size() > 3) name.resize(name.size() - 4);
  return name + ".pk2";
}

TPk2Report InspectPk2(std::span<const std::uint8_t> package) {
  TPk2Report report;
  const auto size = static_cast<std::int64_t>(package.size());
  if (package.size() < Pk2Layout::kHeaderSize) {
    report.error = "the file has " + std::to_string(size) + " bytes, fewer than the " +
                   std::to_string(Pk2Layout::kHeaderSize) + "-byte package header";
    return report;
  }
  if (!IsPk2Header(package)) {
    report.error = "the file does not start with \"PK2\" and a zero byte";
    return report;
  }
  report.count = ReadLe32(package.data() + Pk2Layout::kCountOffset);
  if (report.count < 0) {
    report.error = "the entry count " + std::to_string(report.count) + " is negative";
    return report;
  }

  std::int64_t pos = Pk2Layout::kHeaderSize;
  for (std::int32_t index = 1; index <= report.count; ++index) {
    const std::int64_t start = pos;
    auto fail = [&](const std::string& what) {
      report.error =
          "entry " + std::to_string(index) + " at offset " + std::to_string(start) + ": " + what;
      return report;
    };
    auto take = [&](std::int64_t n) {
      if (n < 0 || n > size - pos) return false;
      pos += n;
      return true;
    };
    auto read32 = [&](std::int32_t& value) {
      if (!take(4)) return false;
      value = ReadLe32(package.data() + pos - 4);
      return true;
    };

    if (!take(Pk2Layout::kEntryHeaderSize)) return fail("the entry header runs past the end");
    TPk2Entry entry;
    entry.offset = start;
    entry.type = PrintableType(package.data() + start);
    const std::int32_t body_length =
        ReadLe32(package.data() + start + Pk2Layout::kBodyLengthOffset);
    const std::string_view raw_type(reinterpret_cast<const char*>(package.data() + start), 4);

    if (raw_type == Pk2Layout::kFileType) {
      std::int32_t name_length = 0;
      if (!read32(name_length)) return fail("the name length runs past the end");
      if (name_length < 1 || name_length > Pk2Layout::kMaxNameLength) {
        return fail("the file name length " + std::to_string(name_length) + " is outside 1 to " +
                    std::to_string(Pk2Layout::kMaxNameLength));
      }
      if (!take(name_length)) return fail("the file name runs past the end");
      entry.name.assign(reinterpret_cast<const char*>(package.data() + pos - name_length),
                        static_cast<std::size_t>(name_length));
      std::int32_t data_length = 0;
      if (!read32(data_length)) return fail("the data length runs past the end");
      if (data_length < 1) {
        return fail("file \"" + entry.name + "\" has the data length " +
                    std::to_string(data_length) + "; a camera refuses a file without data");
      }
      if (!take(data_length)) {
        return fail("file \"" + entry.name + "\" announces " + std::to_string(data_length) +
                    " data bytes but only " + std::to_string(size - pos) + " follow");
      }
      entry.size = data_length;
      entry.md5 = UnscrambledMd5(package.subspan(static_cast<std::size_t>(pos - data_length),
                                                 static_cast<std::size_t>(data_length)),
                                 nullptr);
    } else if (raw_type == Pk2Layout::kCmdType) {
      if (body_length < 0) {
        return fail("the command length " + std::to_string(body_length) + " is negative");
      }
      if (body_length > CtpLimits::kMaxCommandPayload) {
        return fail("the command has " + std::to_string(body_length) + " bytes, more than the " +
                    std::to_string(CtpLimits::kMaxCommandPayload) + " that one request can carry");
      }
      if (!take(body_length)) return fail("the command runs past the end");
      entry.size = body_length;
      entry.md5 = UnscrambledMd5(package.subspan(static_cast<std::size_t>(pos - body_length),
                                                 static_cast<std::size_t>(body_length)),
                                 &entry.command);
    } else {
      if (body_length < 0) {
        return fail("the body length " + std::to_string(body_length) + " is negative");
      }
      if (!take(body_length)) return fail("the body runs past the end");
      entry.size = body_length;
      entry.skipped = true;
    }
    report.entries.push_back(std::move(entry));
  }
  report.trailing = size - pos;
  report.ok = true;
  return report;
}

}  // namespace camlift
