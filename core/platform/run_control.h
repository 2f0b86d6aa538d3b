// SPDX-License-Identifier: Apache-2.0
// What a long upgrade step needs from its caller besides its arguments: where to report progress,
// and whether the user asked to stop. Steps honour a stop only between exchanges and in their
// waits, never in the middle of an upload.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/stop_token.h"
#include "platform/timing.h"

namespace camlift {

// The stages of one upgrade, each reported from 0 to its own total: the download (bytes), the
// check and unpacking of what arrived, the upload (bytes) and the wait for the restarted camera
// (milliseconds waited against the longest wait).
enum class TProgressStage { Download, Verify, Upload, RebootWait };

class TRunControl {
 public:
  using ProgressFn = std::function<void(TProgressStage, std::int64_t done, std::int64_t total)>;

  TRunControl() = default;
  TRunControl(ProgressFn progress, TStopToken stop)
      : progress_(std::move(progress)), stop_(std::move(stop)) {}

  void Report(TProgressStage stage, std::int64_t done, std::int64_t total) const {
    if (progress_) progress_(stage, done, total);
  }
  bool Cancelled() const { return stop_.Requested(); }
  const TStopToken& Stop() const { return stop_; }

  // Sleeps for the scaled wait in small slices; false when a stop was asked for meanwhile.
  bool Sleep(Wait wait) const;
  bool SleepMillis(int ms) const;

  // A control that reports nothing and is never cancelled.
  static const TRunControl& None();

 private:
  ProgressFn progress_;
  TStopToken stop_;
};

}  // namespace camlift
