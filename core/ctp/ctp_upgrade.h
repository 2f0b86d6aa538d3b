// SPDX-License-Identifier: Apache-2.0
// The two operations series K needs from the CTP session: the whole upgrade of a camera with a
// package file, and the reading of its system version from its answer to the CTP search.
#pragma once

#include <string>
#include <vector>

#include "platform/run_control.h"
#include "platform/socket.h"

namespace camlift {

// Logs in and makes the camera leave its mode (session A), then sends every package entry in
// the upgrade mode (session B). True when all entries were accepted (message unchanged): the
// camera restarts then, and the caller waits for it to answer again. Otherwise false with
// message set to the text of the step that failed, IDS_CANCELLED when a stop request came
// before session A. Once session A has begun, a stop request waits for the end of session B.
// Throws TCtpSocketError when the system gives no socket.
bool UpgradeByCtp(const std::string& file_name, const std::string& ip, int port,
                  const std::string& user, const std::string& password, std::string& message,
                  const TRunControl& control = TRunControl::None());

// version becomes the version text of the first search reply whose IP text equals ip, or stays
// empty (also when ip is not a dotted address or the camera cannot be reached). problems (when
// given) gets the search datagrams the system refused to send.
void ReadVersionBySearch(const std::string& ip, int port, std::string& version,
                         const TRunControl& control = TRunControl::None(),
                         std::vector<TSendProblem>* problems = nullptr);

}  // namespace camlift
