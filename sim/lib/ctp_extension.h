// SPDX-License-Identifier: Apache-2.0
// The command service of the simulated cameras whose profile delivers firmware over it (series
// K, sim_series.h): the CTP command service on the camera's web port and the CTP search
// responder on UDP 7999, as a camera extension. A complete transfer restarts the camera with the
// version of the firmware file in the package.
//
// Camera faults that reach the CTP side are declared with their rules in ctp_faults.h: the
// "ctp-..." ones and "close-mid-upload" (the transfer connection is closed after its first data
// block). The faults of the restart ("never-returns", "old-version") work as for the other
// series.
#pragma once

#include <memory>

#include "ctp_search_responder.h"
#include "sim_camera.h"

namespace camlift::sim {

// The identity the CTP search reports for a camera now.
TCtpSearchIdentity CtpSearchIdentityOf(const TSimCamera& camera);
std::unique_ptr<ICameraExtension> MakeCtpCameraExtension(TSimCamera& camera);

}  // namespace camlift::sim
