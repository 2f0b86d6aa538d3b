#include "util/option_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/paths.h"
#include "util/tools.h"

namespace camlift {
namespace {

// An options file is a few hundred bytes; anything far larger (or a pipe, a device) is not one,
// and reading it whole would stall or exhaust the program before the window opens.
constexpr std::uintmax_t kMaxDefaultsBytes = 1024 * 1024;

// Empty when file can be read as a defaults file or is not there at all; else why it cannot.
// Only a file that is certainly absent counts as none: one in a folder this user may not look
// into is there as far as anyone can tell.
std::string DefaultsFileProblem(const std::string& file, bool& present) {
  present = false;
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return {};
    return file + ": " + std::strerror(errno);
  }
  if (!S_ISREG(info.st_mode)) return file + ": not a regular file";
  if (static_cast<std::uintmax_t>(info.st_size) > kMaxDefaultsBytes) {
    return file + ": larger than 1 MiB";
  }
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return file + ": " + std::strerror(errno);
  ::close(fd);
  present = true;
  return {};
}

std::string UserFolder() {
  std::string folder = TTools::ProgramDataFolder(26, true);
  return folder.empty() ? UserFallbackFolder() : folder;
}

}  // namespace

TOptionFile::TOptionFile(const std::string& file_name)
    : TOptionFile(file_name, DefaultsFolder(file_name), UserFolder()) {}

TOptionFile::TOptionFile(const std::string& file_name, const std::string& program_folder,
                         const std::string& user_folder)
    : user_(user_folder + file_name) {
  const std::string defaults = program_folder + file_name;
  // When both places are the same folder, the one file is the user file.
  if (program_folder == user_folder) return;
  bool present = false;
  defaults_problem_ = DefaultsFileProblem(defaults, present);
  if (present) defaults_ = std::make_unique<TIniFile>(defaults);
}

std::string TOptionFile::ReadString(const std::string& section, const std::string& key,
                                    const std::string& default_value) const {
  const std::string fallback =
      defaults_ ? defaults_->ReadString(section, key, default_value) : default_value;
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
