// SPDX-License-Identifier: Apache-2.0
#include "util/option_file.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/paths.h"
#include "util/tools.h"

namespace camlift {
namespace {

// An options file is a few hundred bytes; anything far larger (or a pipe, a device) is not one,
// and reading it whole would stall or exhaust the program before the window opens.
constexpr std::uintmax_t kMaxDefaultsBytes = 1024 * 1024;

std::optional<std::string> ReadDefaultsFile(const std::string& file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
  const std::uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec || size > kMaxDefaultsBytes) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes;
  // Bounded even when the file grows between the size check and the read.
  bytes.resize(static_cast<std::size_t>(kMaxDefaultsBytes));
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

// The per-user folder, not created: a program that only reads its options leaves no folder.
std::string HomeUserFolder() { return TTools::ProgramDataFolder(26, false); }

// Whether the folder can take the user's file: it is a folder this program may write, or the
// nearest folder above it that exists is, so that the first write can make it.
bool CanHoldUserFile(const std::string& folder) {
  std::error_code ec;
  std::filesystem::path path(folder);
  while (!std::filesystem::exists(path, ec) && path.has_parent_path() &&
         path.parent_path() != path) {
    path = path.parent_path();
  }
  return std::filesystem::is_directory(path, ec) && IsWritableFolder(path.string());
}

// The user's folder, or where the user's values go when it cannot take them (a read-only or
// full home, a folder root made there after "sudo -E").
std::string UserFolder() {
  const std::string folder = HomeUserFolder();
  return folder.empty() || !CanHoldUserFile(folder) ? UserFallbackFolder() : folder;
}

std::string FolderOf(const std::string& file) {
  const auto slash = file.rfind('/');
  return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

}  // namespace

std::string TOptionValues::ReadString(std::string_view section, std::string_view key,
                                      std::string_view default_value) const {
  std::string fallback = ReadDefaultString(section, key, default_value);
  if (home_) fallback = home_->ReadString(section, key, fallback);
  return user_.ReadString(section, key, fallback);
}

std::string TOptionValues::ReadDefaultString(std::string_view section, std::string_view key,
                                             std::string_view default_value) const {
  return defaults_ ? defaults_->ReadString(section, key, default_value)
                   : std::string(default_value);
}

TOptionValues ParseOptionValues(std::optional<std::string_view> defaults, std::string_view user) {
  std::optional<TIniData> parsed;
  if (defaults) parsed = ParseIni(*defaults);
  return TOptionValues(std::move(parsed), ParseIni(user));
}

TOptionFile::TOptionFile(const std::string& file_name)
    : TOptionFile(file_name, DefaultsFolder(file_name), UserFolder()) {
  // The values already in the home folder's file still count, below the ones written since.
  const std::string home = HomeUserFolder();
  if (!home.empty() && home != FolderOf(user_.FileName())) {
    if (const auto bytes = ReadDefaultsFile(home + file_name)) values_.SetHome(ParseIni(*bytes));
  }
}

TOptionFile::TOptionFile(const std::string& file_name, const std::string& program_folder,
                         const std::string& user_folder)
    : user_(user_folder + file_name) {
  std::optional<std::string> defaults;
  // When both places are the same folder, the one file is the user file.
  if (program_folder != user_folder) defaults = ReadDefaultsFile(program_folder + file_name);
  std::optional<TIniData> parsed;
  if (defaults) parsed = ParseIni(*defaults);
  values_ = TOptionValues(std::move(parsed), user_.Data());
}

bool TOptionFile::WriteString(const std::string& section, const std::string& key,
                              const std::string& value) {
  TTools::ForceDirs(FolderOf(user_.FileName()));
  const bool written = user_.WriteString(section, key, value);
  values_.SetUser(user_.Data());
  return written;
}

bool TOptionFile::StoreString(const std::string& section, const std::string& key,
                              const std::string& value) {
  if (user_.ValueExists(section, key) && user_.ReadString(section, key, "") == value) return true;
  return WriteString(section, key, value);
}

}  // namespace camlift
