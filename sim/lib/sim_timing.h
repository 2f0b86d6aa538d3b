// SPDX-License-Identifier: Apache-2.0
// The simulator's own waits, apart from the client's table (platform/timing.h) so that the core
// knows nothing of the simulator. CAMLIFT_TIME_SCALE scales them as it does the client's, with
// the same floor for time-outs, so that a scaled client and a scaled simulator stay in step.
#pragma once

#include <span>
#include <string_view>

#include "platform/timing.h"

namespace camlift::sim {

// X(name, milliseconds, kind, what it is)
#define CAMLIFT_SIM_WAITS(X)                                                                   \
  X(RebootTime, 8000, Pause, "simulated camera: time it stays away after an upgrade")          \
  X(ClientIdle, 60000, Timeout, "simulator: longest silence of a client mid-request")          \
  X(SniffWindow, 2000, Timeout, "simulator: wait for a shared-port client's first bytes")      \
  X(CloseLinger, 1000, Timeout, "simulator: wait for the client to close after an answer")     \
  X(SlowSearchReply, 100, Pause, "simulated camera, slow-search: pause before a search reply") \
  X(CtpContinuePause, 1000, Pause, "simulated K camera: pause between Continue and its answer")

enum class SimWait {
#define CAMLIFT_SIM_WAIT_ENUM(id, ms, kind, what) id,
  CAMLIFT_SIM_WAITS(CAMLIFT_SIM_WAIT_ENUM)
#undef CAMLIFT_SIM_WAIT_ENUM
};

struct SimWaitEntry {
  SimWait id;
  std::string_view name;
  int ms;
  WaitKind kind;
  std::string_view what;
};

// The unscaled table, in declaration order.
std::span<const SimWaitEntry> SimWaitTable();
// The scaled value of a wait (ScaleMillis of the core: CAMLIFT_TIME_SCALE and its floor).
int Millis(SimWait w);

}  // namespace camlift::sim
