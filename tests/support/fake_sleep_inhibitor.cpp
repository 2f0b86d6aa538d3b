// SPDX-License-Identifier: Apache-2.0
#include "support/fake_sleep_inhibitor.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace camlift::test {

TFakeSleepInhibitor::~TFakeSleepInhibitor() {
  for (const int fd : read_ends_) ::close(fd);
}

TSleepLock TFakeSleepInhibitor::Inhibit(const TSleepLockRequest& request, std::string& error) {
  requests_.push_back(request);
  if (!refusal_.empty()) {
    error = refusal_;
    return {};
  }
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    error = "no pipe";
    return {};
  }
  read_ends_.push_back(ends[0]);
  return TSleepLock(ends[1]);
}

bool TFakeSleepInhibitor::LastLockHeld() const {
  if (read_ends_.empty()) return false;
  pollfd p{read_ends_.back(), POLLIN, 0};
  // A pipe without a writer reads as hung up at once.
  return ::poll(&p, 1, 0) == 0;
}

}  // namespace camlift::test
