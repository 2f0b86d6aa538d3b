// SPDX-License-Identifier: Apache-2.0
#include "platform/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/paths.h"

namespace camlift {
namespace {

std::string SafeName(const std::string& name) {
  std::string out;
  for (const char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    out += plain ? c : '_';
  }
  return out;
}

std::string WithoutSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

bool IsPrivateFolder(const std::string& path) {
  struct stat st {};
  // lstat without the trailing "/": with it, a link to a folder would be followed.
  return ::lstat(WithoutSlash(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

bool RemoveStaleChannel(const std::string& path) {
  struct stat st {};
  // Only a socket of ours: anything else of that name stays, and listening then fails (said).
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISSOCK(st.st_mode) || st.st_uid != ::geteuid()) return false;
  return ::unlink(path.c_str()) == 0;
}

std::string PrivateRuntimeFolder() {
  // The session's runtime folder is made by the system for this user alone; one that is gone,
  // not ours or open to others (a variable pointed at a shared folder) is not used.
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
    if (IsPrivateFolder(runtime)) return WithoutSlash(runtime) + "/";
  }
  const std::string folder = TempFolder() + "camlift-" + std::to_string(::geteuid());
  ::mkdir(folder.c_str(), 0700);
  return IsPrivateFolder(folder) ? folder + "/" : std::string();
}

TSingleInstance::TSingleInstance(const std::string& name) {
  const std::string folder = PrivateRuntimeFolder();
  if (folder.empty()) {
    problem_ = "no private runtime folder (XDG_RUNTIME_DIR, temporary folder)";
    return;
  }
  const std::string safe = SafeName(name);
  lock_path_ = folder + safe + ".lock";
  channel_ = folder + safe + ".sock";
  fd_ = ::open(lock_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ < 0) {
    problem_ = "cannot open " + lock_path_ + ": " + std::strerror(errno);
    return;
  }
  while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) {
      first_ = false;  // another copy holds it
    } else {
      problem_ = "cannot lock " + lock_path_ + ": " + std::strerror(errno);
    }
    return;
  }
  guarded_ = true;
}

TSingleInstance::~TSingleInstance() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace camlift
