// SPDX-License-Identifier: Apache-2.0
// The list of camera extensions that every simulated camera gets. It is a plain list rather than
// self-registration from each file because camlift_sim is a static library: an object file that
// only registers itself would be dropped by the linker.
#include "ctp_extension.h"
#include "r730_sim_config.h"
#include "search_responder_ext.h"
#include "sim_scenario.h"

namespace camlift::sim {

std::vector<TCameraExtensionFactory> BuiltInCameraExtensions() {
  std::vector<TCameraExtensionFactory> factories;
  // Series K (CTP on the camera's HTTP port) and the LAN search responders go here.
  factories.push_back(MakeSearchResponderExtension);
  factories.push_back(MakeR730ConfigExtension);
  factories.push_back(MakeCtpCameraExtension);
  return factories;
}

}  // namespace camlift::sim
