// SPDX-License-Identifier: Apache-2.0
#include "discovery/net_interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <bit>
#include <memory>

#include "platform/broadcast.h"
#include "platform/socket.h"

namespace camlift {
namespace {

std::uint32_t AddressOf(const sockaddr* address) {
  if (!address || address->sa_family != AF_INET) return 0;
  return reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr;
}

struct TIfAddrsFree {
  void operator()(ifaddrs* list) const { ::freeifaddrs(list); }
};

}  // namespace

std::vector<TNetInterface> ListIPv4Interfaces() {
  ifaddrs* raw = nullptr;
  if (::getifaddrs(&raw) != 0) return {};
  const std::unique_ptr<ifaddrs, TIfAddrsFree> list(raw);
  std::vector<TNetInterface> result;
  for (const ifaddrs* entry = list.get(); entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
    TNetInterface net;
    net.Name = entry->ifa_name ? entry->ifa_name : "";
    net.Address = AddressOf(entry->ifa_addr);
    net.Netmask = AddressOf(entry->ifa_netmask);
    net.Up = (entry->ifa_flags & IFF_UP) != 0;
    net.Loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
    if ((entry->ifa_flags & IFF_BROADCAST) != 0) {
      net.Broadcast = AddressOf(entry->ifa_broadaddr);
      net.HasBroadcast = net.Broadcast != 0;
    }
    result.push_back(std::move(net));
  }
  return result;
}

std::vector<TNetInterface> SearchInterfaces(const std::vector<TNetInterface>& interfaces) {
  std::vector<TNetInterface> result;
  for (const TNetInterface& net : interfaces) {
    if (net.Up && !net.Loopback && net.HasBroadcast) result.push_back(net);
  }
  return result;
}

std::vector<std::uint32_t> SearchTargetsFor(const std::vector<TNetInterface>& interfaces) {
  std::vector<std::uint32_t> targets{*ParseDottedIPv4(kLimitedBroadcast)};
  for (const TNetInterface& net : SearchInterfaces(interfaces)) {
    if (std::find(targets.begin(), targets.end(), net.Broadcast) == targets.end()) {
      targets.push_back(net.Broadcast);
    }
  }
  return targets;
}

TSearchTargets CurrentSearchTargets() {
  TSearchTargets targets;
  if (BroadcastAddressOverridden()) {
    targets.Addresses = {BroadcastAddress()};
    targets.Fixed = true;
    return targets;
  }
  const std::vector<TNetInterface> interfaces = ListIPv4Interfaces();
  targets.Addresses = SearchTargetsFor(interfaces);
  targets.Interfaces = SearchInterfaces(interfaces);
  return targets;
}

std::string InterfaceText(const TNetInterface& net) {
  return AddressText(net.Address) + "/" + std::to_string(std::popcount(ntohl(net.Netmask)));
}

}  // namespace camlift
