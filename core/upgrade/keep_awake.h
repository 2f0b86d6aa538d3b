// SPDX-License-Identifier: Apache-2.0
// The computer stays awake while cameras are flashed. A run (one upgrade, a batch) makes one
// TKeepAwake; each of its workers calls BeforeUpload right before it sends firmware, and the first
// call takes the login manager's lock against sleep and idle. The lock ends with the object, so
// with the run, however the run ends; a process that dies loses it with its descriptors.
// Nothing before the upload needs it: a run cut short by sleep while it reads or downloads only
// fails, while a camera cut off in the middle of its flash may not start again.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "platform/sleep_lock.h"

namespace camlift {

class TKeepAwake {
 public:
  // cameras: how many the run upgrades, named in the lock's reason. inhibitor: the login
  // manager unless a test gives another (not owned; it must outlive this object).
  explicit TKeepAwake(std::size_t cameras, ISleepInhibitor* inhibitor = nullptr);
  TKeepAwake(const TKeepAwake&) = delete;
  TKeepAwake& operator=(const TKeepAwake&) = delete;

  // Takes the lock on the first call, from any worker's thread. Returns the log line that says
  // sleep could not be held off, once per run (from the call that asked), else empty.
  std::string BeforeUpload();
  bool Held() const;

  // The lock's reason: the language's text and the count of cameras.
  static std::string Reason(std::size_t cameras);

 private:
  std::size_t cameras_;
  std::unique_ptr<ISleepInhibitor> own_inhibitor_;
  ISleepInhibitor* inhibitor_;
  mutable std::mutex mutex_;
  bool asked_ = false;
  TSleepLock lock_;
};

}  // namespace camlift
