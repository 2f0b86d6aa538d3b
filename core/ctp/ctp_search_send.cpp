// SPDX-License-Identifier: Apache-2.0
#include "ctp/ctp_search_send.h"

#include <arpa/inet.h>

#include "ctp/ctp_search.h"
#include "platform/broadcast.h"

namespace camlift {

std::vector<std::uint32_t> CtpVersionSearchTargets(const std::string& camera_ip) {
  std::vector<std::uint32_t> targets{BroadcastAddress()};
  in_addr camera{};
  if (::inet_pton(AF_INET, camera_ip.c_str(), &camera) == 1 && camera.s_addr != targets.front()) {
    targets.push_back(camera.s_addr);
  }
  return targets;
}

std::vector<TSendProblem> SendCtpVersionSearch(int fd, const std::string& camera_ip) {
  std::vector<TSendProblem> problems;
  for (const std::uint32_t address : CtpVersionSearchTargets(camera_ip)) {
    const int error = SendDatagramError(fd, address, kCtpSearchPort, kCtpSearchText.data(),
                                        kCtpSearchText.size());
    if (error != 0) problems.push_back({address, kCtpSearchPort, error});
  }
  return problems;
}

}  // namespace camlift
