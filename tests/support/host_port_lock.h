// SPDX-License-Identifier: Apache-2.0
// Tests that run a series R search share fixed ports of the host (the search sends from local
// port 3565, and the cameras answer there). ctest runs several test processes at once, so such
// tests take this lock, which one process holds at a time, for as long as they search.
#pragma once

#include <string>

namespace camlift::test {

class THostPortLock {
 public:
  // name: what is shared, e.g. "udp-3565"; the lock file lies in the system's temporary folder.
  explicit THostPortLock(const std::string& name);
  ~THostPortLock();
  THostPortLock(const THostPortLock&) = delete;
  THostPortLock& operator=(const THostPortLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace camlift::test
