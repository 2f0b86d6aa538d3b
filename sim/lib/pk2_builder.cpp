// SPDX-License-Identifier: Apache-2.0
#include "pk2_builder.h"

#include <array>
#include <cstring>
#include <fstream>
#include <vector>

#include "ctp/pk2_format.h"

namespace camlift::sim {
namespace {

std::string Le32(std::int32_t value) {
  std::array<std::uint8_t, 4> bytes{};
  WriteLe32(bytes.data(), value);
  return std::string(reinterpret_cast<const char*>(bytes.data()), 4);
}

std::string Scrambled(std::string_view data) {
  std::string out(data);
  Pk2Scramble(std::span<char>(out.data(), out.size()));
  return out;
}

std::string EntryHeader(std::string_view type, std::int32_t body_length) {
  std::string header(Pk2Layout::kEntryHeaderSize, '\0');
  header.replace(0, std::min<std::size_t>(4, type.size()), type.substr(0, 4));
  header.replace(Pk2Layout::kBodyLengthOffset, 4, Le32(body_length));
  return header;
}

std::string PackageHeader(std::int32_t count) {
  std::string header(Pk2Layout::kHeaderSize, '\0');
  header.replace(0, Pk2Layout::kMagic.size(), Pk2Layout::kMagic);
  header.replace(4, 16, "camlift-sim pk2 ");
  header.replace(Pk2Layout::kCountOffset, 4, Le32(count));
  return header;
}

}  // namespace

TPk2Builder& TPk2Builder::AddFile(std::string_view name, std::string_view data) {
  std::string body = Le32(static_cast<std::int32_t>(name.size()));
  body.append(name);
  body += Le32(static_cast<std::int32_t>(data.size()));
  body += Scrambled(data);
  AddEntryHeader(Pk2Layout::kFileType, static_cast<std::int32_t>(body.size()));
  entries_ += body;
  return *this;
}

TPk2Builder& TPk2Builder::AddCommand(std::string_view command) {
  AddEntryHeader(Pk2Layout::kCmdType, static_cast<std::int32_t>(command.size()));
  entries_ += Scrambled(command);
  return *this;
}

TPk2Builder& TPk2Builder::AddRaw(std::string_view type, std::string_view body) {
  AddEntryHeader(type, static_cast<std::int32_t>(body.size()));
  entries_.append(body);
  return *this;
}

TPk2Builder& TPk2Builder::SetCount(std::int32_t count) {
  count_ = count;
  return *this;
}

void TPk2Builder::AddEntryHeader(std::string_view type, std::int32_t body_length) {
  entries_ += EntryHeader(type, body_length);
  ++added_;
}

std::string TPk2Builder::Bytes() const { return PackageHeader(count_.value_or(added_)) + entries_; }

bool TPk2Builder::WriteTo(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const std::string bytes = Bytes();
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string SimPackageFileName(TFirmwareKind kind) {
  return kind == TFirmwareKind::System ? "sys.img" : "ui.img";
}

bool WriteSimPackage(const std::string& path, const TSimFirmwareInfo& info, std::uint64_t size,
                     std::string& error) {
  if (info.version.find_first_of("\r\n") != std::string::npos) {
    error = "the version must not hold a line break";
    return false;
  }
  const std::string head = FirmwareHeaderBytes(info);
  const std::uint64_t data_size = std::max<std::uint64_t>(size, head.size());
  if (data_size > 0x7fffffffULL - 1024) {
    error = "a package entry holds less than 2 GiB";
    return false;
  }
  const std::string name = SimPackageFileName(info.kind);
  const std::string command = "upgrade " + name;

  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    error = "cannot write " + path;
    return false;
  }
  const auto body_length = static_cast<std::int32_t>(4 + name.size() + 4 + data_size);
  out << PackageHeader(2) << EntryHeader(Pk2Layout::kFileType, body_length)
      << Le32(static_cast<std::int32_t>(name.size())) << name
      << Le32(static_cast<std::int32_t>(data_size));

  // Header bytes, then a filler that is not all zeros; scrambled by position in the data.
  std::vector<char> chunk(64 * 1024);
  std::uint32_t state = 0x2545F491u;
  for (std::uint64_t done = 0; done < data_size;) {
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), data_size - done));
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint64_t at = done + i;
      if (at < head.size()) {
        chunk[i] = head[static_cast<std::size_t>(at)];
      } else {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        chunk[i] = static_cast<char>(state | 1);
      }
    }
    Pk2Scramble(std::span<char>(chunk.data(), n), static_cast<std::size_t>(done % 8));
    out.write(chunk.data(), static_cast<std::streamsize>(n));
    done += n;
  }
  out << EntryHeader(Pk2Layout::kCmdType, static_cast<std::int32_t>(command.size()))
      << Scrambled(command);
  if (!out.flush()) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace camlift::sim
