#include "platform/paths.h"

#include <limits.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "util/tools.h"

namespace camlift {
namespace {

std::mutex g_work_mutex;
std::string g_work_override;

std::string WithSlash(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
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

std::string WorkFolder() {
  std::string folder;
  {
    std::lock_guard lock(g_work_mutex);
    folder = g_work_override;
  }
  if (folder.empty()) {
    if (const char* env = std::getenv("CAMLIFT_DATA_DIR"); env && *env) folder = WithSlash(env);
  }
  if (folder.empty() && IsWritableFolder(TTools::ModulePath())) folder = TTools::ModulePath();
  if (folder.empty()) folder = TTools::ProgramDataFolder(26, true);
  if (folder.empty()) folder = TempFolder();
  folder = WithSlash(folder);
  TTools::ForceDirs(folder);
  return folder;
}

}  // namespace camlift
