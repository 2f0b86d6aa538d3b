// SPDX-License-Identifier: Apache-2.0
#include "platform/dispatcher.h"

namespace camlift {

TLoopDispatcher::TLoopDispatcher() : owner_(std::this_thread::get_id()) {}

void TLoopDispatcher::Invoke(const std::function<void()>& fn) {
  if (std::this_thread::get_id() == owner_) {
    fn();
    return;
  }
  Call call{&fn};
  std::unique_lock lock(mutex_);
  queue_.push_back(&call);
  queued_.notify_all();
  finished_.wait(lock, [&] { return call.done; });
}

int TLoopDispatcher::ProcessPending() {
  int count = 0;
  std::unique_lock lock(mutex_);
  while (!queue_.empty()) {
    Call* call = queue_.front();
    queue_.pop_front();
    lock.unlock();
    (*call->fn)();
    lock.lock();
    call->done = true;
    finished_.notify_all();
    ++count;
  }
  return count;
}

void TLoopDispatcher::RunUntil(const std::function<bool()>& done) {
  for (;;) {
    ProcessPending();
    if (done()) return;
    std::unique_lock lock(mutex_);
    queued_.wait(lock, [&] { return !queue_.empty() || woken_; });
    woken_ = false;
  }
}

void TLoopDispatcher::RunFor(std::chrono::steady_clock::duration time) {
  const auto deadline = std::chrono::steady_clock::now() + time;
  for (;;) {
    ProcessPending();
    std::unique_lock lock(mutex_);
    if (!queued_.wait_until(lock, deadline, [&] { return !queue_.empty(); })) return;
  }
}

void TLoopDispatcher::Wake() {
  std::lock_guard lock(mutex_);
  woken_ = true;
  queued_.notify_all();
}

void WaitServingUi(IUiDispatcher& ui, const std::function<bool()>& done) {
  while (!done()) {
    ui.ProcessPending();
    if (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace camlift
