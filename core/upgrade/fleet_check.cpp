#include "upgrade/fleet_check.h"

namespace camlift {

TFleetCheck::~TFleetCheck() {
  cancel_ = true;
  Join();
}

void TFleetCheck::Join() {
  if (thread_.joinable()) thread_.join();
}

bool TFleetCheck::Start(std::vector<TCameraEntry> cameras, TStatusOptions options) {
  if (running_) return false;
  Join();
  cancel_ = false;
  running_ = true;
  thread_ = std::thread([this, cameras = std::move(cameras), options]() mutable {
    options.cancel = &cancel_;
    ReadFleetStatus(cameras, options, [this](const TCameraStatus& row, std::size_t, std::size_t) {
      if (cancel_) return;
      std::lock_guard lock(mutex_);
      done_.push_back(row);
    });
    running_ = false;
  });
  return true;
}

std::vector<TCameraStatus> TFleetCheck::TakeResults() {
  std::lock_guard lock(mutex_);
  std::vector<TCameraStatus> rows;
  rows.swap(done_);
  return rows;
}

}  // namespace camlift
