// SPDX-License-Identifier: Apache-2.0
#include "r730/network_settings_check.h"

#include <arpa/inet.h>

#include <cstdint>
#include <optional>

#include "platform/broadcast.h"

namespace camlift {
namespace {

// The address in host byte order, so that masks and host parts are plain arithmetic.
std::optional<std::uint32_t> HostOrder(const std::string& text) {
  const std::optional<std::uint32_t> address = ParseDottedIPv4(text);
  if (!address) return std::nullopt;
  return ntohl(*address);
}

// Empty and 0.0.0.0 mean "none" for the optional addresses.
bool IsNone(const std::string& text) { return text.empty() || text == "0.0.0.0"; }

bool IsMulticastOrReserved(std::uint32_t address) { return (address >> 28) >= 0xE; }
bool IsLoopback(std::uint32_t address) { return (address >> 24) == 127; }
// An address no camera can hold; loopback only where the camera is on loopback already.
bool IsNoCameraAddress(std::uint32_t address, bool loopback_allowed) {
  return (address >> 24) == 0 || IsMulticastOrReserved(address) ||
         (IsLoopback(address) && !loopback_allowed);
}

// The prefix length of a contiguous mask, or nothing.
std::optional<int> PrefixOf(std::uint32_t mask) {
  const std::uint32_t hosts = ~mask;
  if ((hosts & (hosts + 1)) != 0) return std::nullopt;  // ones after a zero
  int prefix = 0;
  for (std::uint32_t bit = 0x80000000u; bit != 0 && (mask & bit) != 0; bit >>= 1) ++prefix;
  return prefix;
}

}  // namespace

TNetworkSettingsProblem CheckNetworkSettings(const TDevInfo& wanted,
                                             const std::string& current_address) {
  using P = TNetworkSettingsProblem;
  const bool dhcp = wanted.DhcpFlag == 1;
  const std::optional<std::uint32_t> current = HostOrder(current_address);
  const bool loopback_allowed = current && IsLoopback(*current);
  const std::optional<std::uint32_t> address = HostOrder(wanted.IPAddr);
  const std::optional<std::uint32_t> mask = HostOrder(wanted.Netmask);
  const std::optional<std::uint32_t> gateway = HostOrder(wanted.Gateway);
  if (dhcp) {
    if (!wanted.IPAddr.empty() && !address) return P::Address;
    if (!wanted.Netmask.empty() && !mask) return P::Netmask;
    if (!IsNone(wanted.Gateway) && !gateway) return P::Gateway;
  } else {
    if (!address || IsNoCameraAddress(*address, loopback_allowed)) return P::Address;
    const std::optional<int> prefix = mask ? PrefixOf(*mask) : std::nullopt;
    if (!prefix || *prefix < 1 || *prefix > 30) return P::Netmask;
    const std::uint32_t host = *address & ~*mask;
    // The subnet's own address and its broadcast address belong to no device.
    if (host == 0 || host == ~*mask) return P::Address;
    if (!IsNone(wanted.Gateway)) {
      if (!gateway || *gateway == *address || IsNoCameraAddress(*gateway, loopback_allowed)) {
        return P::Gateway;
      }
      if ((*gateway & *mask) != (*address & *mask)) return P::GatewayOutsideSubnet;
      const std::uint32_t gateway_host = *gateway & ~*mask;
      if (gateway_host == 0 || gateway_host == ~*mask) return P::Gateway;
    }
  }
  for (const std::string* dns : {&wanted.DNS1, &wanted.DNS2}) {
    if (!IsNone(*dns) && !ParseDottedIPv4(*dns)) return P::Dns;
  }
  if (wanted.DevPort == 0) return P::Port;
  return P::None;
}

const char* NetworkSettingsProblemKey(TNetworkSettingsProblem problem) {
  switch (problem) {
    case TNetworkSettingsProblem::None:
      return "";
    case TNetworkSettingsProblem::Address:
      return "IDS_NETBADADDRESS";
    case TNetworkSettingsProblem::Netmask:
      return "IDS_NETBADMASK";
    case TNetworkSettingsProblem::Gateway:
      return "IDS_NETBADGATEWAY";
    case TNetworkSettingsProblem::GatewayOutsideSubnet:
      return "IDS_NETGATEWAYOUTSIDE";
    case TNetworkSettingsProblem::Dns:
      return "IDS_NETBADDNS";
    case TNetworkSettingsProblem::Port:
      return "IDS_NETBADPORT";
  }
  return "";
}

}  // namespace camlift
