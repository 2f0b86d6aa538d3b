// SPDX-License-Identifier: Apache-2.0
// "Bin/" of the work folder: firmware unpacked from verified archives. Each archive gets a folder
// of its own, named after its MD5 ("Bin/<md5>/<name>"), so that two repositories or OEM folders
// that publish the same archive name never share, or replace, each other's firmware. Beside each
// firmware a small record names the archive's MD5 and the firmware's size: a later run reuses it
// only for the same catalogue checksum and never uploads a file nobody verified.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "repository/run_files.h"

namespace camlift {

// True when name (an archive name from a catalogue) can be used as one plain file name inside
// the program's folders: not empty, no "/", "\", ":" or control byte, not "." or ".." and no
// leading dot (the program's own temporary names), and none of the program's own files (the
// options and catalogue files, "firmware.txt", verification records).
bool IsPlainArchiveName(std::string_view name);
// True for 32 hexadecimal digits.
bool IsMd5Text(std::string_view text);

class TFirmwareCache {
 public:
  explicit TFirmwareCache(std::string folder);  // ends in "/"

  const std::string& Folder() const { return folder_; }
  // archive_md5 must be IsMd5Text; it is used in lower case.
  std::string PathOf(const std::string& archive_md5, const std::string& name) const;
  std::string RecordOf(const std::string& archive_md5, const std::string& name) const;

  // True when the firmware of that archive exists, its record names archive_md5 (ignoring
  // case) and its size matches; with a sha256, the record must name that SHA-256 too, so that
  // a firmware verified against MD5 alone is never taken for one a SHA-256 vouches for.
  bool IsVerified(const std::string& archive_md5, const std::string& name,
                  const std::string& sha256 = "") const;
  // Unpacks a verified archive into a staging folder of its own; only when name is a regular
  // file at the top level of that archive does it replace the cached one (which is removed
  // first either way). False when the archive is refused or does not hold name, or when accept
  // (given the unpacked file while it is still staged) refuses it.
  bool Store(const std::string& archive, const std::string& archive_md5, const std::string& name,
             const std::string& sha256 = "",
             const std::function<bool(const std::string& staged_file)>& accept = {});
  // Moves file (a firmware given as it is, whose MD5 is md5) to PathOf(md5, name) and records
  // it (with its SHA-256 when that was checked). file must lie in the same file system, a copy
  // of the program's own.
  bool Keep(const std::string& file, const std::string& md5, const std::string& name,
            const std::string& sha256 = "");
  // Records a firmware file that lies at PathOf(archive_md5, name) already (with the archive's
  // SHA-256 when it was checked).
  bool Record(const std::string& archive_md5, const std::string& name,
              const std::string& sha256 = "");

 private:
  // Creates the work folder when missing and Bin/ below it as a folder of our own.
  bool MakeCacheFolder() const;

  std::string folder_;
};

}  // namespace camlift
