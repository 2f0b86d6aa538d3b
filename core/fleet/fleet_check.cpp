// SPDX-License-Identifier: Apache-2.0
#include "fleet/fleet_check.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/timing.h"

namespace camlift {

struct TFleetCheck::TState {
  std::atomic<bool> running{false};
  std::atomic<bool> cancel{false};
  std::mutex mutex;
  std::condition_variable ended;
  std::vector<TCameraStatus> done;
};

TFleetCheck::TFleetCheck() : state_(std::make_shared<TState>()) {}

TFleetCheck::~TFleetCheck() {
  if (!thread_.joinable()) return;
  state_->cancel = true;
  std::unique_lock lock(state_->mutex);
  const bool ended = state_->ended.wait_for(lock, Duration(Wait::FleetCheckStop),
                                            [&] { return !state_->running.load(); });
  lock.unlock();
  if (ended) {
    thread_.join();
  } else {
    thread_.detach();  // it holds its own share of the state and touches nothing else of ours
  }
}

bool TFleetCheck::Running() const { return state_->running; }

void TFleetCheck::Cancel() { state_->cancel = true; }

bool TFleetCheck::Start(std::vector<TCameraEntry> cameras, TStatusOptions options) {
  if (state_->running) return false;
  if (thread_.joinable()) thread_.join();
  state_->cancel = false;
  state_->running = true;
  thread_ = std::thread([state = state_, cameras = std::move(cameras), options]() mutable {
    options.cancel = &state->cancel;
    ReadFleetStatus(cameras, options, [&](const TCameraStatus& row, std::size_t, std::size_t) {
      if (state->cancel) return;
      std::lock_guard lock(state->mutex);
      state->done.push_back(row);
    });
    std::lock_guard lock(state->mutex);
    state->running = false;
    state->ended.notify_all();
  });
  return true;
}

std::vector<TCameraStatus> TFleetCheck::TakeResults() {
  std::lock_guard lock(state_->mutex);
  std::vector<TCameraStatus> rows;
  rows.swap(state_->done);
  return rows;
}

}  // namespace camlift
