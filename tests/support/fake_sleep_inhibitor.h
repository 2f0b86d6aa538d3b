// SPDX-License-Identifier: Apache-2.0
// A login manager in a box: grants a lock as the real one does (the write end of a pipe whose
// read end sees the end of the file once every copy of the lock is closed), or refuses with a
// reason; it remembers every request.
#pragma once

#include <string>
#include <vector>

#include "platform/sleep_lock.h"

namespace camlift::test {

class TFakeSleepInhibitor final : public ISleepInhibitor {
 public:
  explicit TFakeSleepInhibitor(std::string refusal = "") : refusal_(std::move(refusal)) {}
  ~TFakeSleepInhibitor() override;

  TSleepLock Inhibit(const TSleepLockRequest& request, std::string& error) override;

  const std::vector<TSleepLockRequest>& requests() const { return requests_; }
  // Whether the last lock granted is still held by someone (its pipe has a writer).
  bool LastLockHeld() const;

 private:
  std::string refusal_;
  std::vector<TSleepLockRequest> requests_;
  std::vector<int> read_ends_;
};

}  // namespace camlift::test
