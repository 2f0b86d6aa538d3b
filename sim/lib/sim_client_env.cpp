// SPDX-License-Identifier: Apache-2.0
#include "sim_client_env.h"

#include <arpa/inet.h>

namespace camlift::sim {
namespace {

bool OnLoopback(const std::string& ip) {
  in_addr address{};
  return ::inet_pton(AF_INET, ip.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

}  // namespace

std::string ClientEnvironmentLine(const TScenario& scenario, const std::string& scale_text) {
  std::string line = "export CAMLIFT_TIME_SCALE=" + (scale_text.empty() ? "1" : scale_text);
  bool loopback = true;
  for (const TCameraConfig& camera : scenario.cameras) loopback = loopback && OnLoopback(camera.ip);
  // The README's examples export the loopback broadcast: a shell that ran one would keep it.
  line += loopback ? " CAMLIFT_BROADCAST_ADDR=127.255.255.255" : "; unset CAMLIFT_BROADCAST_ADDR";
  return line;
}

}  // namespace camlift::sim
