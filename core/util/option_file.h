// TOptionFile: "option.ini" in two places — optional defaults in the program folder (read only;
// for an installed program the system-wide $XDG_CONFIG_DIRS/camlift/, see DefaultsFolder()) and
// the user's own values in the per-user data folder (read and written). A user value wins over a
// defaults value, which wins over the caller's default.
#pragma once

#include <memory>
#include <string>

#include "util/ini_file.h"

namespace camlift {

class TOptionFile {
 public:
  explicit TOptionFile(const std::string& file_name = "option.ini");
  // For tests: explicit folders (each ending in "/").
  TOptionFile(const std::string& file_name, const std::string& program_folder,
              const std::string& user_folder);

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& default_value) const;
  // The value of the defaults file alone, whatever the user's file says.
  std::string ReadDefaultString(const std::string& section, const std::string& key,
                                const std::string& default_value) const;
  bool WriteString(const std::string& section, const std::string& key, const std::string& value);
  // Writes only when the user file does not already hold exactly this value (a value that
  // comes from the program folder's defaults is still written into the user file).
  bool StoreString(const std::string& section, const std::string& key, const std::string& value);

  const std::string& UserFileName() const { return user_.FileName(); }
  // Why a defaults file that is there could not be read ("<path>: Permission denied", "<path>:
  // larger than 1 MiB", "<path>: not a regular file"); empty when it was read or is not there
  // at all. Its values then count as none, and a caller that takes security settings from it
  // (the repository keys) must refuse rather than go on without them.
  const std::string& DefaultsProblem() const { return defaults_problem_; }

 private:
  std::unique_ptr<TIniFile> defaults_;
  std::string defaults_problem_;
  TIniFile user_;
};

}  // namespace camlift
