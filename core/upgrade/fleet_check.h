// The status read of a list of cameras in the background, for a window: the readers run on a
// thread of their own and leave each camera's row in a queue that the window empties on its
// own timer. Nothing waits on the window's thread, so the window's list never waits for a
// camera.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "upgrade/status_read.h"

namespace camlift {

class TFleetCheck {
 public:
  TFleetCheck() = default;
  // Stops handing out cameras and waits for the reads in progress.
  ~TFleetCheck();
  TFleetCheck(const TFleetCheck&) = delete;
  TFleetCheck& operator=(const TFleetCheck&) = delete;

  // False while a check is still running.
  bool Start(std::vector<TCameraEntry> cameras, TStatusOptions options);
  bool Running() const { return running_; }
  // The rows finished since the last call, in the order they finished.
  std::vector<TCameraStatus> TakeResults();
  void Cancel() { cancel_ = true; }

 private:
  void Join();

  std::atomic<bool> running_{false};
  std::atomic<bool> cancel_{false};
  std::mutex mutex_;
  std::vector<TCameraStatus> done_;
  std::thread thread_;
};

}  // namespace camlift
