// SPDX-License-Identifier: Apache-2.0
// The status read of a list of cameras in the background, for a window: the readers run on a
// thread of their own and leave each camera's row in a queue that the window empties on its
// own timer. Nothing waits on the window's thread, so the window's list never waits for a
// camera.
#pragma once

#include <memory>
#include <thread>
#include <vector>

#include "fleet/status_read.h"

namespace camlift {

class TFleetCheck {
 public:
  TFleetCheck();
  // Stops handing out cameras and waits a short while for the reads in progress; a reader still
  // waiting for a silent camera then finishes on its own, so closing a window never hangs on it.
  ~TFleetCheck();
  TFleetCheck(const TFleetCheck&) = delete;
  TFleetCheck& operator=(const TFleetCheck&) = delete;

  // False while a check is still running.
  bool Start(std::vector<TCameraEntry> cameras, TStatusOptions options);
  bool Running() const;
  // The rows finished since the last call, in the order they finished.
  std::vector<TCameraStatus> TakeResults();
  void Cancel();

 private:
  struct TState;
  std::shared_ptr<TState> state_;  // shared with the readers' thread
  std::thread thread_;
};

}  // namespace camlift
