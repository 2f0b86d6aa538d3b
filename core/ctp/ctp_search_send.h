// SPDX-License-Identifier: Apache-2.0
// Where the CTP search of a series K version read goes: the broadcast address as always, and
// straight to the camera, whose reply is the one the read looks for. A camera behind a router,
// or one on loopback beside other cameras, never hears the broadcast.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/socket.h"

namespace camlift {

// BroadcastAddress(), then the camera's address (network byte order) when camera_ip is a dotted
// address other than that one.
std::vector<std::uint32_t> CtpVersionSearchTargets(const std::string& camera_ip);

// Sends the search text from fd to port 7999 of every target; the datagrams the system refused.
std::vector<TSendProblem> SendCtpVersionSearch(int fd, const std::string& camera_ip);

}  // namespace camlift
