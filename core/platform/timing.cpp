// SPDX-License-Identifier: Apache-2.0
#include "platform/timing.h"

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <stdexcept>

namespace camlift {
namespace {

constexpr WaitEntry kTable[] = {
#define CAMLIFT_WAIT_ROW(id, ms, kind, what) {Wait::id, #id, ms, WaitKind::kind, what},
    CAMLIFT_WAITS(CAMLIFT_WAIT_ROW)
#undef CAMLIFT_WAIT_ROW
};

std::atomic<double> g_override{-1.0};

double ScaleFromEnvironment() {
  static const double scale = [] {
    const char* text = std::getenv("CAMLIFT_TIME_SCALE");
    return text && *text ? ParseTimeScale(text) : 1.0;
  }();
  return scale;
}

}  // namespace

std::span<const WaitEntry> WaitTable() { return kTable; }

const WaitEntry& WaitInfo(Wait w) { return kTable[static_cast<std::size_t>(w)]; }

double ParseTimeScale(std::string_view text) {
  double value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || !std::isfinite(value) || value < 0) {
    throw std::invalid_argument(
        "CAMLIFT_TIME_SCALE must be a non-negative decimal number such as "
        "1, 0.5 or 0.01 (got \"" +
        std::string(text) + "\")");
  }
  return value;
}

void SetTimeScaleForTesting(double factor) { g_override = factor; }

double TimeScale() {
  const double forced = g_override.load();
  return forced >= 0 ? forced : ScaleFromEnvironment();
}

int ScaleMillis(int ms, WaitKind kind) {
  const double scaled = std::round(ms * TimeScale());
  const int value = scaled > 2e9 ? 2000000000 : static_cast<int>(scaled);
  if (kind == WaitKind::Timeout && value < kMinTimeoutMs) return std::min(ms, kMinTimeoutMs);
  return value;
}

int Millis(Wait w) {
  const WaitEntry& e = WaitInfo(w);
  return ScaleMillis(e.ms, e.kind);
}

std::chrono::milliseconds Duration(Wait w) { return std::chrono::milliseconds(Millis(w)); }

}  // namespace camlift
