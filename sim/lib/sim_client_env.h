// SPDX-License-Identifier: Apache-2.0
// The one line a client needs to reach a running simulator: the time scale the simulator runs at
// and, when every camera is on loopback, the broadcast address that keeps searches there.
#pragma once

#include <string>

#include "sim_scenario.h"

namespace camlift::sim {

// "export CAMLIFT_TIME_SCALE=<scale> CAMLIFT_BROADCAST_ADDR=127.255.255.255"; when a camera
// listens outside 127.0.0.0/8 (a network namespace), where the client's own search of every
// adapter reaches it, "export CAMLIFT_TIME_SCALE=<scale>; unset CAMLIFT_BROADCAST_ADDR". scale_text
// is the simulator's CAMLIFT_TIME_SCALE as given (empty: not set, which is 1).
std::string ClientEnvironmentLine(const TScenario& scenario, const std::string& scale_text);

}  // namespace camlift::sim
