// SPDX-License-Identifier: Apache-2.0
// Where things live on this platform: the program file, the per-user folders, the temporary
// folder, the work folder (catalogue, downloaded archives, "Bin/"), and for an installed program
// the XDG cache, state and system configuration folders that stand in for the program folder.
#pragma once

#include <string>

namespace camlift {

// Full path of the running program (/proc/self/exe resolved once, at the first call); empty if
// it cannot be read.
std::string ExecutablePath();
// The program's path from the text of /proc/self/exe: without the " (deleted)" that the kernel
// appends once the running file has been replaced.
std::string ProgramPathFromLink(std::string link);
// The folder of the program file, ending in "/" (empty when the program file is unknown).
std::string ProgramFolder();
// The user's application-data folder: $XDG_CONFIG_HOME, else ~/.config. Without trailing '/'.
std::string UserConfigHome();
// $TMPDIR, else /tmp, always with a trailing '/'.
std::string TempFolder();
// $TMPDIR/camlift-<uid>/ (shared with the single-instance lock), made for this user alone (mode
// 0700, not a link); when that name is taken by anything else, a fresh $TMPDIR/camlift-XXXXXX/.
// Ends in "/"; empty if none can be made.
std::string PrivateTempFolder();
// True when the current user may create files in folder.
bool IsWritableFolder(const std::string& folder);

// The work folder, with a trailing '/', created when missing: SetWorkFolder() (--data-dir) or
// CAMLIFT_DATA_DIR when given; else the program folder of a build tree or portable copy; else,
// for an installed program, the XDG cache folder. The same as CacheFolder().
std::string WorkFolder();
void SetWorkFolder(const std::string& folder);

// Why the program folder may not be trusted with what lies in it, empty when it may: the folder
// or a folder above it belongs to another user than this one or root, or its group or others
// may write it (the rule ssh applies to the folders of the files it reads). A folder above it
// that belongs to root and has the sticky bit (/tmp) is allowed: others cannot rename or remove
// what is ours in it. Another user could then put a library there that the window
// loads, or options that name another repository, keys and CA. The text names the folder and
// why: "/tmp/ may be written by others (mode 1777)".
std::string ProgramFolderDistrust(const std::string& folder);
// The same rule for a file the program would read from its folder (option.ini, the closed
// library): empty when the file is absent or belongs to this user or root and neither its group
// nor others may write it; else why, naming the file.
std::string ProgramFileDistrust(const std::string& file);
// The line that says the program folder is not used and why (stderr at every start), or empty.
std::string ProgramFolderWarning();

// An installed program lives in a system program folder (/usr/bin, /usr/local/bin, the bindir
// it was built for), in one it may not write, or in one it may not trust
// (ProgramFolderDistrust): its files then go to the XDG folders instead.
bool IsInstalledProgramFolder(const std::string& folder);
bool ProgramIsInstalled();
// Only the system program folders (/usr/bin, /usr/local/bin, the bindir it was built for, ...).
bool IsSystemProgramFolder(const std::string& folder);

// $XDG_CACHE_HOME/camlift/ (else ~/.cache/camlift/), $XDG_STATE_HOME/camlift/ (else
// ~/.local/state/camlift/): relative values are ignored as XDG asks. Root whose HOME belongs to
// another user (sudo -E) uses root's own home folder instead, and leaves that user's folders
// alone. Not created. Empty when neither the variable nor a home folder is known.
std::string XdgCacheFolder();
std::string XdgStateFolder();
// The system-wide defaults folder of an installed program: the first entry of $XDG_CONFIG_DIRS
// (else /etc/xdg) whose camlift/ holds file_name (anything of that name, or a folder that cannot
// be looked into), else the first entry's camlift/.
std::string XdgSystemConfigFolder(const std::string& file_name);

// Re-fetchable data (catalogue copies, downloaded archives, the firmware cache "Bin/"):
// --data-dir or CAMLIFT_DATA_DIR, else the writable program folder, else the XDG cache folder,
// else (no home folder) $TMPDIR/camlift-<uid>/ made for this user alone (mode 0700).
// Ends in "/" and is created when missing. WorkFolder() is the same folder.
std::string CacheFolder();
// Records (batch logs, the upgrade history): --data-dir or CAMLIFT_DATA_DIR, else the writable
// program folder, else the XDG state folder. Ends in "/" and is created when missing.
std::string StateFolder();
// The folders CacheFolder() and StateFolder() name, without creating anything (for a report of
// where things go): without a home folder, the private folder below the temporary folder.
std::string CacheFolderName();
std::string StateFolderName();
// The choice behind both: --data-dir (SetWorkFolder), else CAMLIFT_DATA_DIR, else program_folder
// unless it is installed, else xdg_folder. Nothing is created; empty when all are empty.
std::string DataFolderFor(const std::string& program_folder, const std::string& xdg_folder);
// Where the read-only defaults file_name ("option.ini") is looked for: the program folder; for a
// program in a system program folder XdgSystemConfigFolder(); for one in a folder it may not
// write, the program folder when the file is there, else XdgSystemConfigFolder(); for one in a
// folder it may not trust, XdgSystemConfigFolder(). Ends in "/".
std::string DefaultsFolderFor(const std::string& program_folder, const std::string& file_name);
std::string DefaultsFolder(const std::string& file_name);
// Where the user's own files go when there is no home folder to hold them: the program folder of
// a build tree, else a private folder below the temporary folder (never /usr/bin). Ends in "/".
std::string UserFallbackFolder();

}  // namespace camlift
