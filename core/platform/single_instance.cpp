#include "platform/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

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

std::string LockFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
    return std::string(runtime) + "/";
  }
  const std::string folder = TempFolder() + "camlift-" + std::to_string(::getuid()) + "/";
  ::mkdir(folder.c_str(), 0700);
  return folder;
}

}  // namespace

TSingleInstance::TSingleInstance(const std::string& name) {
  const std::string safe = SafeName(name);
  lock_path_ = LockFolder() + safe + ".lock";
  channel_ = safe + "-" + std::to_string(::getuid());
  fd_ = ::open(lock_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  first_ = fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
}

TSingleInstance::~TSingleInstance() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace camlift
