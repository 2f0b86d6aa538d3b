// SPDX-License-Identifier: Apache-2.0
#include "platform/run_control.h"

#include <chrono>
#include <thread>

namespace camlift {

bool TRunControl::SleepMillis(int ms) const {
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  constexpr auto kSlice = std::chrono::milliseconds(20);
  while (!Cancelled()) {
    const auto now = Clock::now();
    if (now >= until) return true;
    std::this_thread::sleep_for(std::min<Clock::duration>(kSlice, until - now));
  }
  return false;
}

bool TRunControl::Sleep(Wait wait) const { return SleepMillis(Millis(wait)); }

const TRunControl& TRunControl::None() {
  static const TRunControl none;
  return none;
}

}  // namespace camlift
