// SPDX-License-Identifier: Apache-2.0
// TTools: static routines shared by the whole program: the GET behind every camera page read,
// where the program and its folders are, folder creation and removal, file search, text splitting.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace camlift {

// One found file with its modification time (seconds since the epoch) attached.
struct TFoundFile {
  std::string name;
  std::int64_t modified = 0;
};
using TFoundFiles = std::vector<TFoundFile>;

class TTools {
 public:
  TTools() = delete;

  // The largest page HttpGetText hands back; a longer body is cut here.
  static constexpr std::size_t kMaxPageBytes = 512000;

  // GET url (user agent "MyIP", always fetched fresh, redirects followed over http/https only).
  // Connect and receive time-outs are timeout_ms each. Basic authorisation goes out only when
  // user and password are both non-empty. The HTTP status is not looked at: true whenever a
  // response arrived, with its body (at most kMaxPageBytes, cut at the first NUL) in text.
  static bool HttpGetText(const std::string& url, std::string& text, int timeout_ms,
                          const std::string& user, const std::string& password);

  static std::string ModuleFileName();
  // Folder of the program file, ending in "/".
  static std::string ModulePath();
  // csidl 26 (the user's application-data folder) maps to $XDG_CONFIG_HOME or ~/.config; other
  // numbers are unknown here and give an empty text. Ends in "/".
  static std::string SpecialFolderPath(int csidl, bool create);
  // SpecialFolderPath + the program's name without its extension + "/" (created when asked).
  static std::string ProgramDataFolder(int csidl, bool create);
  // The temporary folder, ending in "/".
  static std::string GetTempDir();
  // Creates path and every missing parent; true when path is a folder afterwards.
  static bool ForceDirs(const std::string& path);
  // Removes everything below path, and path itself when remove_self. Never fails (always true).
  static bool DeleteDir(const std::string& path, bool remove_self);
  // Adds the files of folder that match the masks (shell globs joined by ";" or else by "|") to
  // list, then, when recurse (and can_descend allows it), those of every sub-folder.
  static void FindFiles(TFoundFiles& list, const std::string& folder, const std::string& masks,
                        bool recurse, const std::function<bool()>& can_descend, bool no_duplicates);
  // Appends the pieces of text between separators to list (empty pieces kept).
  static void SplitText(const std::string& text, const std::string& separator,
                        std::vector<std::string>& list);
};

}  // namespace camlift
