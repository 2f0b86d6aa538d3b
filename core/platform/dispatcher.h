// SPDX-License-Identifier: Apache-2.0
// The one place where threads meet: a worker hands a call to the UI thread and waits until it has
// run. The GUI implements it with Qt; the CLI and the tests use TLoopDispatcher or
// TInlineDispatcher.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace camlift {

class IUiDispatcher {
 public:
  virtual ~IUiDispatcher() = default;
  // Runs fn on the UI thread and returns once it has run. Called on the UI thread, runs it at once.
  virtual void Invoke(const std::function<void()>& fn) = 0;
  // Called on the UI thread while it waits for another thread without returning to its event
  // loop: runs the calls handed over meanwhile, so that a thread blocked in Invoke can finish.
  // Returns how many ran (0 when the implementation cannot tell).
  virtual int ProcessPending() { return 0; }
};

// Runs every call on the calling thread (single-threaded tools and tests).
class TInlineDispatcher final : public IUiDispatcher {
 public:
  void Invoke(const std::function<void()>& fn) override { fn(); }
};

// A queue that the owning ("UI") thread drains. Other threads block in Invoke until their call
// has been run by ProcessPending/RunUntil on the owner thread.
class TLoopDispatcher final : public IUiDispatcher {
 public:
  TLoopDispatcher();  // the constructing thread is the UI thread
  void Invoke(const std::function<void()>& fn) override;

  // Runs every queued call; returns how many ran.
  int ProcessPending() override;
  // Runs queued calls until done() is true (checked after each call and on every Wake()).
  void RunUntil(const std::function<bool()>& done);
  // Wakes RunUntil so it re-checks its predicate.
  void Wake();
  // Runs queued calls as they come until the time is up, asleep in between.
  void RunFor(std::chrono::steady_clock::duration time);

 private:
  struct Call {
    const std::function<void()>* fn;
    bool done = false;
  };
  std::thread::id owner_;
  std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable finished_;
  std::deque<Call*> queue_;
  bool woken_ = false;
};

// Waits on the UI thread until done() holds, running the calls that other threads hand to the
// UI thread meanwhile, so that a thread blocked in Invoke can still finish.
void WaitServingUi(IUiDispatcher& ui, const std::function<bool()>& done);

}  // namespace camlift
