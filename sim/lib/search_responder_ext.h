// SPDX-License-Identifier: Apache-2.0
// The search responders of a simulated camera, as a camera extension: while the camera is up it
// answers the search dialects of its scenario entry, by default the one its series' profile names
// (sim_series.h), with the identity of that entry, and records every datagram it receives.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "search_responder.h"
#include "sim_camera.h"

namespace camlift::sim {

// A LAN search dialect the simulated cameras answer. A new dialect is its answer function (a
// search_responder_<name>.cpp of its own) and one row of kSearchDialects
// (search_responder_ext.cpp); scenario files take its name in "search".
struct TSearchDialect {
  const char* name;    // as scenario files name it
  std::uint16_t port;  // the UDP port it listens on
  std::vector<TBytes> (*answer)(const TSearchIdentity&, std::span<const std::uint8_t>);
};
std::span<const TSearchDialect> SearchDialects();
const TSearchDialect* FindSearchDialect(const std::string& name);
// "moi, 1010 or 8600", for messages.
std::string SearchDialectList();

// The dialects of the client's dialect table (discovery/search_dialects.cpp) that simulated
// cameras answer, by the names of its rows: the rows of kSearchDialects, and the CTP search
// ("ctp"), which the series K extension answers (TCtpSearchResponder, ctp_extension.h). The
// unit test DiscoveryDialects.EveryReplyHasASeedAndASimulatedResponder names a dialect of the
// client's table that is missing here.
std::vector<std::string> AnsweredSearchDialects();

// "moi", "1010", "8600": the dialects a camera of this configuration answers.
std::vector<std::string> SearchDialectsOf(const TCameraConfig& config);
// The camera's identity as the search reports it; versions and port as the camera has them now.
TSearchIdentity SearchIdentityOf(const TSimCamera& camera);
std::unique_ptr<ICameraExtension> MakeSearchResponderExtension(TSimCamera& camera);

}  // namespace camlift::sim
