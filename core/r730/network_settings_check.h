// SPDX-License-Identifier: Apache-2.0
// Whether network settings may go to a series R camera: checked before the settings datagram is
// built, so that a typing slip never leaves a camera on an address nobody can reach. The
// datagram reaches a camera on any subnet, and a camera takes what it is sent.
#pragma once

#include <string>

#include "discovery/dev_info.h"

namespace camlift {

enum class TNetworkSettingsProblem {
  None,
  Address,               // no IPv4 address, or one no camera can hold (network, broadcast, ...)
  Netmask,               // no contiguous mask of 1 to 30 bits
  Gateway,               // no IPv4 address, or the camera's own
  GatewayOutsideSubnet,  // not on the subnet the address and mask make
  Dns,                   // a DNS server that is no IPv4 address
  Port,                  // 0
};

// The first problem of the wanted settings, in the order of the fields. With DHCP on (DhcpFlag
// 1) the camera takes its address from the network: the address fields need only be empty or
// IPv4 addresses. An empty gateway or DNS server, or 0.0.0.0, is none. No camera holds an
// address of 0.0.0.0/8, 127.0.0.0/8 or 224.0.0.0 and above; a camera on loopback now (a simulated
// one: current_address is where it answers) may move within loopback.
TNetworkSettingsProblem CheckNetworkSettings(const TDevInfo& wanted,
                                             const std::string& current_address = "");

// The message key that says the problem to the user ("" for None).
const char* NetworkSettingsProblemKey(TNetworkSettingsProblem problem);

}  // namespace camlift
