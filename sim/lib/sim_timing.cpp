// SPDX-License-Identifier: Apache-2.0
#include "sim_timing.h"

namespace camlift::sim {
namespace {

constexpr SimWaitEntry kTable[] = {
#define CAMLIFT_SIM_WAIT_ROW(id, ms, kind, what) {SimWait::id, #id, ms, WaitKind::kind, what},
    CAMLIFT_SIM_WAITS(CAMLIFT_SIM_WAIT_ROW)
#undef CAMLIFT_SIM_WAIT_ROW
};

}  // namespace

std::span<const SimWaitEntry> SimWaitTable() { return kTable; }

int Millis(SimWait w) {
  const SimWaitEntry& e = kTable[static_cast<std::size_t>(w)];
  return ScaleMillis(e.ms, e.kind);
}

}  // namespace camlift::sim
