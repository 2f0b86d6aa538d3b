// SPDX-License-Identifier: Apache-2.0
#include "upgrade/keep_awake.h"

#include "i18n/str_res.h"

namespace camlift {

TKeepAwake::TKeepAwake(std::size_t cameras, ISleepInhibitor* inhibitor)
    : cameras_(cameras),
      own_inhibitor_(inhibitor ? nullptr : MakeLogindSleepInhibitor()),
      inhibitor_(inhibitor ? inhibitor : own_inhibitor_.get()) {}

std::string TKeepAwake::Reason(std::size_t cameras) {
  return GetLangStr("IDS_SLEEPLOCKWHY") + std::to_string(cameras);
}

std::string TKeepAwake::BeforeUpload() {
  std::lock_guard lock(mutex_);
  // One request per run: the other cameras of a batch share the lock, and a refusal is said once.
  if (asked_) return {};
  asked_ = true;
  std::string error;
  lock_ = inhibitor_->Inhibit({"Camlift", Reason(cameras_)}, error);
  if (lock_.Held()) return {};
  return GetLangStr("IDS_SLEEPNOTHELD") + error;
}

bool TKeepAwake::Held() const {
  std::lock_guard lock(mutex_);
  return lock_.Held();
}

}  // namespace camlift
