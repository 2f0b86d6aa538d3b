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
// IPv4 addresses. An empty gateway or DNS server, or 0.0.0.0, is none.
TNetworkSettingsProblem CheckNetworkSettings(const TDevInfo& wanted);

// The message key that says the problem to the user ("" for None).
const char* NetworkSettingsProblemKey(TNetworkSettingsProblem problem);

}  // namespace camlift
