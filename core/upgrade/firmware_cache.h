// "Bin/" of the work folder: firmware unpacked from verified archives. Beside each firmware a
// small record names the MD5 of the archive it came from and its size, so that a later run
// reuses it only for the same catalogue checksum and never uploads a file nobody verified.
#pragma once

#include <string>

namespace camlift {

class TFirmwareCache {
 public:
  explicit TFirmwareCache(std::string folder);  // ends in "/"

  const std::string& Folder() const { return folder_; }
  std::string PathOf(const std::string& name) const { return folder_ + name; }
  std::string RecordOf(const std::string& name) const { return folder_ + name + ".verified"; }

  // True when name exists, its record names archive_md5 (ignoring case) and its size matches.
  bool IsVerified(const std::string& name, const std::string& archive_md5) const;
  // Unpacks a verified archive and records where name came from. False when the archive is
  // refused or does not hold name at its top level.
  bool Store(const std::string& archive, const std::string& name, const std::string& archive_md5);
  // Records a firmware file that was checked another way (an offline file given by the user).
  bool Record(const std::string& name, const std::string& source_md5);

 private:
  std::string folder_;
};

}  // namespace camlift
