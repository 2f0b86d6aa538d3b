// SPDX-License-Identifier: Apache-2.0
#include "support/host_port_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace camlift::test {

THostPortLock::THostPortLock(const std::string& name) {
  // /tmp, not TMPDIR: every test process must meet the same file whatever its environment.
  const std::string path = "/tmp/camlift-tests-" + name + ".lock";
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd_ >= 0) {
    while (::flock(fd_, LOCK_EX) != 0) {
    }
  }
}

THostPortLock::~THostPortLock() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

}  // namespace camlift::test
