#include "util/option_file.h"

#include <cstdint>
#include <filesystem>

#include "platform/paths.h"
#include "util/tools.h"

namespace camlift {
namespace {

// An options file is a few hundred bytes; anything far larger (or a pipe, a device) is not one,
// and reading it whole would stall or exhaust the program before the window opens.
constexpr std::uintmax_t kMaxDefaultsBytes = 1024 * 1024;

bool IsReadableDefaults(const std::string& file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return false;
  const std::uintmax_t size = std::filesystem::file_size(file, ec);
  return !ec && size <= kMaxDefaultsBytes;
}

std::string HomeUserFolder() { return TTools::ProgramDataFolder(26, true); }

// The user's folder, or where the user's values go when it cannot take them (a read-only or
// full home, a folder root made there after "sudo -E").
std::string UserFolder() {
  const std::string folder = HomeUserFolder();
  return folder.empty() || !IsWritableFolder(folder) ? UserFallbackFolder() : folder;
}

}  // namespace

TOptionFile::TOptionFile(const std::string& file_name)
    : TOptionFile(file_name, DefaultsFolder(file_name), UserFolder()) {
  // The values already in the home folder's file still count, below the ones written since.
  const std::string home = HomeUserFolder();
  if (!home.empty() && home != user_folder_ && IsReadableDefaults(home + file_name)) {
    home_ = std::make_unique<TIniFile>(home + file_name);
  }
}

TOptionFile::TOptionFile(const std::string& file_name, const std::string& program_folder,
                         const std::string& user_folder)
    : user_folder_(user_folder), user_(user_folder + file_name) {
  const std::string defaults = program_folder + file_name;
  // When both places are the same folder, the one file is the user file.
  if (program_folder != user_folder && IsReadableDefaults(defaults)) {
    defaults_ = std::make_unique<TIniFile>(defaults);
  }
}

std::string TOptionFile::ReadString(const std::string& section, const std::string& key,
                                    const std::string& default_value) const {
  std::string fallback =
      defaults_ ? defaults_->ReadString(section, key, default_value) : default_value;
  if (home_) fallback = home_->ReadString(section, key, fallback);
  return user_.ReadString(section, key, fallback);
}

std::string TOptionFile::ReadDefaultString(const std::string& section, const std::string& key,
                                           const std::string& default_value) const {
  return defaults_ ? defaults_->ReadString(section, key, default_value) : default_value;
}

bool TOptionFile::WriteString(const std::string& section, const std::string& key,
                              const std::string& value) {
  return user_.WriteString(section, key, value);
}

bool TOptionFile::StoreString(const std::string& section, const std::string& key,
                              const std::string& value) {
  if (user_.ValueExists(section, key) && user_.ReadString(section, key, "") == value) return true;
  return user_.WriteString(section, key, value);
}

}  // namespace camlift
