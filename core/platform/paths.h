// Where things live on this platform: the program file, the per-user folders, the temporary
// folder and the work folder (catalogue, downloaded archives, "Bin/").
#pragma once

#include <string>

namespace camlift {

// Full path of the running program (/proc/self/exe resolved once, at the first call); empty if
// it cannot be read.
std::string ExecutablePath();
// The program's path from the text of /proc/self/exe: without the " (deleted)" that the kernel
// appends once the running file has been replaced.
std::string ProgramPathFromLink(std::string link);
// The user's application-data folder: $XDG_CONFIG_HOME, else ~/.config. Without trailing '/'.
std::string UserConfigHome();
// $TMPDIR, else /tmp, always with a trailing '/'.
std::string TempFolder();
// True when the current user may create files in folder.
bool IsWritableFolder(const std::string& folder);

// The work folder, with a trailing '/', created when missing:
// SetWorkFolder() (--data-dir) or CAMLIFT_DATA_DIR when given; else the program folder when it is
// writable (a portable install); else the per-user data folder of the program.
std::string WorkFolder();
void SetWorkFolder(const std::string& folder);

}  // namespace camlift
