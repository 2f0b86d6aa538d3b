// SPDX-License-Identifier: Apache-2.0
// Where the search datagrams go. A broadcast to 255.255.255.255 leaves through one adapter only
// (the one of the default route), so a PC with Wi-Fi, Ethernet and a VPN would search one of its
// networks. Every datagram therefore also goes to the directed broadcast address of each IPv4
// interface that is up, is not loopback and has one. The interfaces are read again on every
// search pass, so a cable plugged in later counts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace camlift {

// One IPv4 address of a network interface (addresses in network byte order).
struct TNetInterface {
  std::string Name;
  std::uint32_t Address = 0;
  std::uint32_t Netmask = 0;
  std::uint32_t Broadcast = 0;  // valid when HasBroadcast
  bool Up = false;
  bool Loopback = false;
  bool HasBroadcast = false;
};

// The IPv4 addresses of this host's interfaces (getifaddrs); empty when they cannot be read.
std::vector<TNetInterface> ListIPv4Interfaces();

// The interfaces a search goes out through: up, not loopback, with a broadcast address.
std::vector<TNetInterface> SearchInterfaces(const std::vector<TNetInterface>& interfaces);

// The destinations of one search datagram, without repeats: 255.255.255.255 first, then the
// broadcast address of every search interface.
std::vector<std::uint32_t> SearchTargetsFor(const std::vector<TNetInterface>& interfaces);

// What one search pass uses.
struct TSearchTargets {
  std::vector<std::uint32_t> Addresses;
  std::vector<TNetInterface> Interfaces;  // empty when the address is fixed
  bool Fixed = false;                     // CAMLIFT_BROADCAST_ADDR chose the only address
};

// The targets right now: only BroadcastAddress() when CAMLIFT_BROADCAST_ADDR is set (tests and
// special networks), else SearchTargetsFor(ListIPv4Interfaces()). Throws like BroadcastAddress
// when the variable holds no address.
TSearchTargets CurrentSearchTargets();

// "a.b.c.d/n" for an interface address and its netmask.
std::string InterfaceText(const TNetInterface& net);

}  // namespace camlift
