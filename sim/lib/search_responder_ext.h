// The search responders of a simulated camera, as a camera extension: while the camera is up it
// answers the search dialect of its series (M: MO_I on 10000, P: 1010 on 6801, R: 8600 on
// 8600) with the identity of its scenario entry, and records every datagram it receives.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "search_responder.h"
#include "sim_camera.h"

namespace camlift::sim {

// "moi", "1010", "8600": the dialects a camera of this configuration answers.
std::vector<std::string> SearchDialectsOf(const TCameraConfig& config);
// The camera's identity as the search reports it; versions and port as the camera has them now.
TSearchIdentity SearchIdentityOf(const TSimCamera& camera);
std::unique_ptr<ICameraExtension> MakeSearchResponderExtension(TSimCamera& camera);

}  // namespace camlift::sim
