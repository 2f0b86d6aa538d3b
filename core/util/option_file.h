// SPDX-License-Identifier: Apache-2.0
// TOptionFile: "option.ini" in two places — optional defaults in the program folder (read only;
// for an installed program the system-wide $XDG_CONFIG_DIRS/camlift/, see DefaultsFolder()) and
// the user's own values in the per-user data folder (read and written). A user value wins over a
// defaults value, which wins over the caller's default.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "util/ini_file.h"

namespace camlift {

// The two files as read: the rule above over their parsed texts, with nothing on disk.
class TOptionValues {
 public:
  TOptionValues() = default;
  // defaults: nothing when there is no defaults file.
  TOptionValues(std::optional<TIniData> defaults, TIniData user)
      : defaults_(std::move(defaults)), user_(std::move(user)) {}

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view default_value) const;
  // The value of the defaults file alone, whatever the user's file says.
  std::string ReadDefaultString(std::string_view section, std::string_view key,
                                std::string_view default_value) const;
  const TIniData& User() const { return user_; }
  void SetUser(TIniData user) { user_ = std::move(user); }
  // The home folder's file when the user's values go elsewhere because it cannot be written:
  // its values count below the user's and above the defaults.
  void SetHome(TIniData home) { home_ = std::move(home); }

 private:
  std::optional<TIniData> defaults_;
  std::optional<TIniData> home_;
  TIniData user_;
};

// The options from the bytes of the defaults file (nothing: there is none) and of the user's.
TOptionValues ParseOptionValues(std::optional<std::string_view> defaults, std::string_view user);

class TOptionFile {
 public:
  explicit TOptionFile(const std::string& file_name = "option.ini");
  // For tests: explicit folders (each ending in "/").
  TOptionFile(const std::string& file_name, const std::string& program_folder,
              const std::string& user_folder);

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& default_value) const {
    return values_.ReadString(section, key, default_value);
  }
  std::string ReadDefaultString(const std::string& section, const std::string& key,
                                const std::string& default_value) const {
    return values_.ReadDefaultString(section, key, default_value);
  }
  // Reading never creates a folder; the first write makes the user's folder when it is missing.
  bool WriteString(const std::string& section, const std::string& key, const std::string& value);
  // Writes only when the user file does not already hold exactly this value (a value that
  // comes from the program folder's defaults is still written into the user file).
  bool StoreString(const std::string& section, const std::string& key, const std::string& value);

  const std::string& UserFileName() const { return user_.FileName(); }
  // Why the last write of the user's file failed (the system's words); empty after a success.
  const std::string& WriteError() const { return user_.WriteError(); }
  const TOptionValues& Values() const { return values_; }

 private:
  TIniFile user_;
  TOptionValues values_;
};

}  // namespace camlift
