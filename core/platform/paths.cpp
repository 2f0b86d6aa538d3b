#include "platform/paths.h"

#include <limits.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

#include "util/tools.h"

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

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  std::string base = home && *home ? home : "";
  if (base.empty()) {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) base = pw->pw_dir;
  }
  return base;
}

// $variable/camlift/ when it holds an absolute path, else ~/below_home/camlift/.
std::string XdgHomeFolder(const char* variable, const char* below_home) {
  if (const char* xdg = std::getenv(variable); xdg && *xdg == '/') {
    return WithSlash(xdg) + kAppFolder;
  }
  const std::string home = HomeFolder();
  if (home.empty()) return {};
  return WithSlash(home) + below_home + "/" + kAppFolder;
}

std::string CreatedFolder(std::string folder) {
  if (folder.empty()) folder = TempFolder();
  folder = WithSlash(folder);
  TTools::ForceDirs(folder);
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

bool IsInstalledProgramFolder(const std::string& folder) {
  const std::string with_slash = WithSlash(folder);
  for (const char* system : {CAMLIFT_INSTALL_BINDIR, "/usr/bin", "/usr/local/bin", "/bin",
                             "/usr/games", "/usr/local/games"}) {
    if (with_slash == WithSlash(system)) return true;
  }
  // As root every folder is writable, so only the list above can tell /usr/bin from a build tree.
  return !IsWritableFolder(folder);
}

bool ProgramIsInstalled() { return IsInstalledProgramFolder(TTools::ModulePath()); }

std::string XdgCacheFolder() { return XdgHomeFolder("XDG_CACHE_HOME", ".cache"); }

std::string XdgStateFolder() { return XdgHomeFolder("XDG_STATE_HOME", ".local/state"); }

std::string XdgSystemConfigFolder(const std::string& file_name) {
  const char* env = std::getenv("XDG_CONFIG_DIRS");
  std::vector<std::string> dirs;
  TTools::SplitText(env && *env ? env : "", ":", dirs);
  std::string first;
  for (const std::string& dir : dirs) {
    if (dir.empty() || dir.front() != '/') continue;
    const std::string folder = WithSlash(dir) + kAppFolder;
    if (first.empty()) first = folder;
    std::error_code ec;
    if (std::filesystem::is_regular_file(folder + file_name, ec)) return folder;
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
  return CreatedFolder(DataFolderFor(TTools::ModulePath(), XdgCacheFolder()));
}

std::string StateFolder() {
  return CreatedFolder(DataFolderFor(TTools::ModulePath(), XdgStateFolder()));
}

std::string DefaultsFolder(const std::string& file_name) {
  return ProgramIsInstalled() ? XdgSystemConfigFolder(file_name) : TTools::ModulePath();
}

}  // namespace camlift
