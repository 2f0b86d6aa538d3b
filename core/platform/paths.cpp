// SPDX-License-Identifier: Apache-2.0
#include "platform/paths.h"

#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

#ifndef CAMLIFT_INSTALL_BINDIR
#define CAMLIFT_INSTALL_BINDIR "/usr/bin"
#endif

namespace camlift {
namespace {

std::mutex g_work_mutex;
std::string g_work_override;

constexpr const char* kAppFolder = "camlift/";

std::string WithSlash(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

std::string AccountHome() {
  const passwd* pw = ::getpwuid(::geteuid());
  return pw && pw->pw_dir ? pw->pw_dir : "";
}

// Root running with a user's HOME (sudo -E, or a sudo that keeps HOME): folders root made there
// would stay root's, and the user's own runs could no longer write their cache and records.
bool IsRootInOthersHome() {
  const char* home = std::getenv("HOME");
  struct stat st {};
  return ::geteuid() == 0 && home && *home && ::stat(home, &st) == 0 && st.st_uid != 0;
}

// $variable/camlift/ when it holds an absolute path, else ~/below_home/camlift/; for root in a
// user's home, root's own home folder.
std::string XdgHomeFolder(const char* variable, const char* below_home) {
  const bool root_in_others_home = IsRootInOthersHome();
  if (const char* xdg = std::getenv(variable); xdg && *xdg == '/' && !root_in_others_home) {
    return WithSlash(xdg) + kAppFolder;
  }
  const char* env_home = std::getenv("HOME");
  const std::string home =
      env_home && *env_home && !root_in_others_home ? std::string(env_home) : AccountHome();
  if (home.empty()) return {};
  return WithSlash(home) + below_home + "/" + kAppFolder;
}

}  // namespace

// For a user without a home folder: never the shared temporary folder itself, and never a folder
// (or a link) that another user made there in our name.
std::string PrivateTempFolder() {
  // The same folder the single-instance lock uses.
  const std::string fixed = TempFolder() + "camlift-" + std::to_string(::getuid());
  ::mkdir(fixed.c_str(), 0700);
  struct stat st {};
  if (::lstat(fixed.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
      (st.st_mode & 077) == 0) {
    return fixed + "/";
  }
  std::string fresh = TempFolder() + "camlift-XXXXXX";
  return ::mkdtemp(fresh.data()) ? fresh + "/" : std::string();
}

namespace {

std::string NamedFolder(const std::string& folder) {
  if (folder.empty()) return TempFolder() + "camlift-" + std::to_string(::getuid()) + "/";
  return WithSlash(folder);
}

// home_folder: the folder is the per-user one below the home folder, not one the user named
// (--data-dir, CAMLIFT_DATA_DIR): a read-only or full home, or a folder that root made there,
// then gives way to a private folder below the temporary folder instead of failing every write.
std::string CreatedFolder(std::string folder, bool home_folder) {
  if (folder.empty()) return PrivateTempFolder();
  folder = WithSlash(folder);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (home_folder && !IsWritableFolder(folder)) {
    const std::string fallback = PrivateTempFolder();
    if (!fallback.empty()) {
      static std::atomic<bool> said{false};
      if (!said.exchange(true)) {
        std::fprintf(stderr, "camlift: %s cannot be written; using %s instead\n", folder.c_str(),
                     fallback.c_str());
      }
      return fallback;
    }
  }
  return folder;
}

}  // namespace

std::string ProgramPathFromLink(std::string link) {
  // The kernel marks a program file that was replaced or removed while it runs (a package
  // upgrade, a rebuild); the program's folder is still the one it was started from.
  constexpr std::string_view kDeleted = " (deleted)";
  if (link.size() > kDeleted.size() && link.ends_with(kDeleted)) {
    link.resize(link.size() - kDeleted.size());
  }
  return link;
}

std::string ExecutablePath() {
  // Read once: the options file and the language files must stay in one place for the whole
  // run, whatever happens to the program file meanwhile.
  static const std::string path = [] {
    char buffer[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0) return std::string();
    return ProgramPathFromLink(std::string(buffer, static_cast<std::size_t>(n)));
  }();
  return path;
}

std::string UserConfigHome() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') return xdg;
  const char* home = std::getenv("HOME");
  std::string base = home && *home ? home : "";
  if (base.empty()) {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) base = pw->pw_dir;
  }
  if (base.empty()) return {};
  return base + "/.config";
}

std::string TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return WithSlash(tmp && *tmp ? tmp : "/tmp");
}

bool IsWritableFolder(const std::string& folder) {
  return !folder.empty() && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

void SetWorkFolder(const std::string& folder) {
  std::lock_guard lock(g_work_mutex);
  g_work_override = folder.empty() ? std::string() : WithSlash(folder);
}

std::string WorkFolder() { return CacheFolder(); }

bool IsSystemProgramFolder(const std::string& folder) {
  const std::string with_slash = WithSlash(folder);
  for (const char* system : {CAMLIFT_INSTALL_BINDIR, "/usr/bin", "/usr/local/bin", "/bin",
                             "/usr/games", "/usr/local/games"}) {
    if (with_slash == WithSlash(system)) return true;
  }
  return false;
}

namespace {

std::string ModeText(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

}  // namespace

std::string ProgramFolderDistrust(const std::string& folder) {
  if (folder.empty() || folder.front() != '/') return "the program folder is unknown";
  const uid_t me = ::geteuid();
  // From the folder up to "/": each must belong to this user or root, and neither its group nor
  // others may write it. A folder above it that belongs to root and has the sticky bit (/tmp) is
  // the one exception: others may add their own entries there but cannot rename or remove ours.
  std::filesystem::path path = std::filesystem::path(folder).lexically_normal();
  if (!path.has_filename()) path = path.parent_path();
  for (bool above = false;; above = true) {
    const std::string shown = WithSlash(path.string());
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return shown + " cannot be examined";
    if (st.st_uid != 0 && st.st_uid != me) {
      return shown + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    }
    const bool sticky_root_parent = above && st.st_uid == 0 && (st.st_mode & S_ISVTX) != 0;
    if (sticky_root_parent) {
      if (path == path.root_path() || !path.has_parent_path() || path.parent_path() == path) break;
      path = path.parent_path();
      continue;
    }
    if ((st.st_mode & S_IWOTH) != 0) {
      return shown + " may be written by others (mode " + ModeText(st.st_mode) + ")";
    }
    if ((st.st_mode & S_IWGRP) != 0) {
      return shown + " may be written by its group (mode " + ModeText(st.st_mode) + ")";
    }
    if (path == path.root_path() || !path.has_parent_path() || path.parent_path() == path) break;
    path = path.parent_path();
  }
  return {};
}

std::string ProgramFileDistrust(const std::string& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return {};
  if (st.st_uid != 0 && st.st_uid != ::geteuid()) {
    return file + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
  }
  if ((st.st_mode & S_IWOTH) != 0) {
    return file + " may be written by others (mode " + ModeText(st.st_mode) + ")";
  }
  if ((st.st_mode & S_IWGRP) != 0) {
    return file + " may be written by its group (mode " + ModeText(st.st_mode) + ")";
  }
  return {};
}

std::string ProgramFolderWarning() {
  const std::string folder = ProgramFolder();
  if (folder.empty()) return {};
  const std::string why = ProgramFolderDistrust(folder);
  if (why.empty()) {
    // A trusted folder may still hold a file that another user could have changed.
    for (const char* name : {"option.ini", "515/libDVSNETClient.so"}) {
      if (const std::string file = ProgramFileDistrust(folder + name); !file.empty()) {
        return folder + name + " is not used: " + file;
      }
    }
    return {};
  }
  return "the program folder " + folder +
         " is not used (neither its option.ini nor 515/libDVSNETClient.so, and no work files "
         "there): " +
         why + "; the per-user folders are used instead";
}

bool IsInstalledProgramFolder(const std::string& folder) {
  // As root every folder is writable, so only the list can tell /usr/bin from a build tree.
  return IsSystemProgramFolder(folder) || !IsWritableFolder(folder) ||
         !ProgramFolderDistrust(folder).empty();
}

std::string ProgramFolder() {
  const std::string file = ExecutablePath();
  const auto slash = file.rfind('/');
  return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

bool ProgramIsInstalled() { return IsInstalledProgramFolder(ProgramFolder()); }

std::string XdgCacheFolder() { return XdgHomeFolder("XDG_CACHE_HOME", ".cache"); }

std::string XdgStateFolder() { return XdgHomeFolder("XDG_STATE_HOME", ".local/state"); }

std::string XdgSystemConfigFolder(const std::string& file_name) {
  const char* env = std::getenv("XDG_CONFIG_DIRS");
  const std::string list = env ? env : "";
  std::string first;
  for (std::size_t start = 0; start <= list.size();) {
    std::size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    const std::string dir = list.substr(start, end - start);
    start = end + 1;
    if (dir.empty() || dir.front() != '/') continue;
    const std::string folder = WithSlash(dir) + kAppFolder;
    if (first.empty()) first = folder;
    // The first entry that holds the file, or that may hold it: a folder this user may not look
    // into (an administrator's camlift/ of mode 0700) is not skipped as if it were empty, so that
    // the reader can say the file cannot be read instead of going on without it.
    struct stat info {};
    if (::stat((folder + file_name).c_str(), &info) == 0 || (errno != ENOENT && errno != ENOTDIR)) {
      return folder;
    }
  }
  return first.empty() ? std::string("/etc/xdg/") + kAppFolder : first;
}

std::string DataFolderFor(const std::string& program_folder, const std::string& xdg_folder) {
  {
    std::lock_guard lock(g_work_mutex);
    if (!g_work_override.empty()) return g_work_override;
  }
  if (const char* env = std::getenv("CAMLIFT_DATA_DIR"); env && *env) return WithSlash(env);
  if (!IsInstalledProgramFolder(program_folder)) return WithSlash(program_folder);
  return xdg_folder;
}

std::string CacheFolder() {
  const std::string xdg = XdgCacheFolder();
  const std::string folder = DataFolderFor(ProgramFolder(), xdg);
  return CreatedFolder(folder, !xdg.empty() && folder == xdg);
}

std::string StateFolder() {
  const std::string xdg = XdgStateFolder();
  const std::string folder = DataFolderFor(ProgramFolder(), xdg);
  return CreatedFolder(folder, !xdg.empty() && folder == xdg);
}

std::string CacheFolderName() {
  return NamedFolder(DataFolderFor(ProgramFolder(), XdgCacheFolder()));
}

std::string StateFolderName() {
  return NamedFolder(DataFolderFor(ProgramFolder(), XdgStateFolder()));
}

std::string DefaultsFolderFor(const std::string& program_folder, const std::string& file_name) {
  const std::string folder = WithSlash(program_folder);
  // A file beside the program that another user could have changed is not read.
  if (!ProgramFileDistrust(folder + file_name).empty()) return XdgSystemConfigFolder(file_name);
  if (!IsInstalledProgramFolder(folder)) return folder;
  // A copy in a folder it may not write (unpacked by an administrator) still reads the defaults
  // beside it, as it always did; only the system program folders use the system-wide file.
  // Not one that others could have written, though.
  std::error_code ec;
  if (!IsSystemProgramFolder(folder) && ProgramFolderDistrust(folder).empty() &&
      std::filesystem::is_regular_file(folder + file_name, ec)) {
    return folder;
  }
  return XdgSystemConfigFolder(file_name);
}

std::string DefaultsFolder(const std::string& file_name) {
  return DefaultsFolderFor(ProgramFolder(), file_name);
}

std::string UserFallbackFolder() {
  return ProgramIsInstalled() ? PrivateTempFolder() : ProgramFolder();
}

}  // namespace camlift
