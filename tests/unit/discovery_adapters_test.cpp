// SPDX-License-Identifier: Apache-2.0
// Every adapter: the destinations of the search datagrams, the endpoint that sends one datagram
// to each, and the diagnosis of an empty search (addresses, interfaces, ports that would not
// bind). The host's interfaces are only read here; the lists the rules run on are made up.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "discovery/net_interfaces.h"
#include "discovery/search_diagnostics.h"
#include "discovery/search_engine.h"
#include "discovery/tools_net.h"
#include "platform/broadcast.h"
#include "r730/r730_search.h"

namespace camlift {
namespace {

using namespace std::chrono_literals;

std::uint32_t Ip(const char* text) { return *ParseDottedIPv4(text); }

TNetInterface Net(const char* name, const char* address, const char* netmask, const char* broadcast,
                  bool up = true, bool loopback = false) {
  TNetInterface net;
  net.Name = name;
  net.Address = Ip(address);
  net.Netmask = Ip(netmask);
  net.Up = up;
  net.Loopback = loopback;
  if (broadcast) {
    net.Broadcast = Ip(broadcast);
    net.HasBroadcast = true;
  }
  return net;
}

std::vector<std::string> Texts(const std::vector<std::uint32_t>& addresses) {
  std::vector<std::string> texts;
  for (const std::uint32_t a : addresses) texts.push_back(AddressText(a));
  return texts;
}

TEST(SearchTargets, LimitedBroadcastThenEachUsableAdapterOnce) {
  const std::vector<TNetInterface> host = {
      Net("lo", "127.0.0.1", "255.0.0.0", nullptr, true, true),
      Net("eth0", "192.168.1.20", "255.255.255.0", "192.168.1.255"),
      Net("wlan0", "10.8.0.5", "255.255.0.0", "10.8.255.255"),
      Net("eth1", "172.16.0.2", "255.255.0.0", "172.16.255.255", /*up=*/false),
      Net("tun0", "10.99.0.2", "255.255.255.255", nullptr),           // a VPN: point to point
      Net("eth0", "192.168.1.21", "255.255.255.0", "192.168.1.255"),  // a second address
      Net("lo2", "127.1.0.1", "255.0.0.0", "127.255.255.255", true, true),
  };
  EXPECT_EQ((std::vector<std::string>{"255.255.255.255", "192.168.1.255", "10.8.255.255"}),
            Texts(SearchTargetsFor(host)));
  std::vector<std::string> names;
  for (const TNetInterface& net : SearchInterfaces(host)) names.push_back(net.Name);
  EXPECT_EQ((std::vector<std::string>{"eth0", "wlan0", "eth0"}), names);
  EXPECT_EQ("10.8.0.5/16", InterfaceText(host[2]));
  // No adapter at all: the limited broadcast still goes out.
  EXPECT_EQ((std::vector<std::string>{"255.255.255.255"}), Texts(SearchTargetsFor({})));
}

TEST(SearchTargets, TheOverrideIsTheOnlyAddress) {
  ::setenv("CAMLIFT_BROADCAST_ADDR", "127.255.255.255", 1);
  const TSearchTargets targets = CurrentSearchTargets();
  EXPECT_TRUE(targets.Fixed);
  EXPECT_EQ((std::vector<std::string>{"127.255.255.255"}), Texts(targets.Addresses));
  EXPECT_TRUE(targets.Interfaces.empty());
  // The host's own list is readable and marks its loopback.
  const std::vector<TNetInterface> host = ListIPv4Interfaces();
  EXPECT_TRUE(std::any_of(host.begin(), host.end(), [](const TNetInterface& net) {
    return net.Loopback && net.Address == Ip("127.0.0.1");
  }));
  for (const TNetInterface& net : SearchInterfaces(host)) EXPECT_FALSE(net.Loopback);
}

std::uint16_t BoundPort(int fd) {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
  return ntohs(local.sin_port);
}

TSocketHandle BoundTo(const char* address, std::uint16_t port) {
  TSocketHandle socket = MakeUdpSocket(false);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  local.sin_addr.s_addr = Ip(address);
  if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    return {};
  }
  return socket;
}

// A loopback UDP port that is free just now.
std::uint16_t FreeLoopbackPort() {
  const TSocketHandle probe = BoundTo("127.0.0.1", 0);
  return BoundPort(probe.get());
}

std::string Receive(int fd) {
  if (!WaitReadable(fd, 2000)) return "<nothing>";
  char buffer[64];
  const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
  return n < 0 ? "<error>" : std::string(buffer, static_cast<std::size_t>(n));
}

TEST(SearchTargets, EndpointSendsOneDatagramToEachTarget) {
  // Two "adapters" on loopback: one receiver on each address, on the same port.
  TSocketHandle first = BoundTo("127.0.0.1", 0);
  ASSERT_TRUE(first.valid());
  const std::uint16_t port = BoundPort(first.get());
  TSocketHandle second = BoundTo("127.0.0.2", port);
  ASSERT_TRUE(second.valid());
  TLoopDispatcher ui;
  TUdpEndpoint endpoint(ui, [](auto, auto) {});
  ASSERT_TRUE(endpoint.Activate(0));
  endpoint.SetTargets({Ip("127.0.0.1"), Ip("127.0.0.2")});
  const std::string text = "query";
  EXPECT_TRUE(endpoint.Broadcast(
      port, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())));
  EXPECT_EQ("query", Receive(first.get()));
  EXPECT_EQ("query", Receive(second.get()));
  EXPECT_FALSE(WaitReadable(first.get(), 50));  // once each
  // Without targets it falls back to the broadcast address.
  endpoint.SetTargets({});
  EXPECT_EQ((std::vector<std::string>{BroadcastAddressText()}), Texts(endpoint.Targets()));
}

// A pass's replies arrive in a burst; the listener hands what waits to the UI thread in groups.
// Every datagram must reach the handler once, whole, in the order it came, on the UI thread,
// with the address it came from (the account rule compares it with what the reply names).
TEST(SearchTargets, EndpointHandsEveryDatagramOfABurstOverInOrder) {
  TLoopDispatcher ui;
  const auto owner = std::this_thread::get_id();
  std::vector<std::string> seen;
  std::vector<std::string> senders;
  TUdpEndpoint endpoint(ui, [&](std::span<const std::uint8_t> datagram, std::uint32_t from) {
    EXPECT_EQ(owner, std::this_thread::get_id());
    seen.emplace_back(datagram.begin(), datagram.end());
    senders.push_back(AddressText(from));
  });
  TSocketHandle sender = BoundTo("127.0.0.7", 0);
  ASSERT_TRUE(sender.valid());
  const std::uint16_t port = FreeLoopbackPort();
  ASSERT_TRUE(endpoint.Activate(port));
  std::vector<std::string> sent;
  for (int i = 0; i < 40; ++i) {
    sent.push_back("reply " + std::to_string(i) + std::string(static_cast<std::size_t>(i), 'x'));
    ASSERT_TRUE(
        SendDatagram(sender.get(), Ip("127.0.0.1"), port, sent.back().data(), sent.back().size()));
  }
  for (int wait = 0; wait < 50 && seen.size() < sent.size(); ++wait) ui.RunFor(100ms);
  EXPECT_EQ(sent, seen);
  EXPECT_EQ(std::vector<std::string>(sent.size(), "127.0.0.7"), senders);
  endpoint.Deactivate();
}

// A site of thousands answers a pass at once, while the UI thread may be busy painting. The
// replies must wait in the endpoint's own queue, not in the socket's buffer (which the kernel
// empties by dropping): sent with the UI thread not serving, every one arrives once it serves.
// Beyond the queue's bound the rest is dropped and counted, not held without end.
TEST(SearchTargets, EndpointHoldsABurstLargerThanTheSocketBufferWhileTheUiIsBusy) {
  struct TCase {
    std::size_t sent;
    std::size_t arrive;
  };
  for (const TCase c :
       {TCase{3000, 3000}, TCase{TUdpEndpoint::kMaxWaiting + 500, TUdpEndpoint::kMaxWaiting}}) {
    SCOPED_TRACE(c.sent);
    TLoopDispatcher ui;
    std::vector<std::size_t> seen;
    TUdpEndpoint endpoint(ui, [&](std::span<const std::uint8_t> datagram, std::uint32_t) {
      seen.push_back(std::stoul(std::string(datagram.begin(), datagram.end()).substr(0, 8)));
    });
    TSocketHandle sender = BoundTo("127.0.0.1", 0);
    ASSERT_TRUE(sender.valid());
    const std::uint16_t port = FreeLoopbackPort();
    ASSERT_TRUE(endpoint.Activate(port));
    // A reply as large as a 1010 answer; more of them than a default socket buffer holds.
    // Sent in slices, each read by the endpoint before the next, so that only the endpoint's
    // own bound can lose one (the UI thread serves nothing meanwhile).
    std::size_t next = 0;
    while (next < c.sent) {
      const std::size_t slice_end = std::min(c.sent, next + 200);
      for (; next < slice_end; ++next) {
        char text[32];
        std::snprintf(text, sizeof text, "%08zu", next);
        const std::string reply = text + std::string(300, 'r');
        ASSERT_TRUE(SendDatagram(sender.get(), Ip("127.0.0.1"), port, reply.data(), reply.size()));
      }
      const auto until = std::chrono::steady_clock::now() + 20s;
      while (endpoint.Waiting() + endpoint.Dropped() < next &&
             std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(2ms);
      }
    }
    EXPECT_EQ(c.sent - c.arrive, endpoint.Dropped());
    for (int wait = 0; wait < 200 && seen.size() < c.arrive; ++wait) ui.RunFor(50ms);
    ASSERT_EQ(c.arrive, seen.size());
    for (std::size_t i = 0; i < seen.size(); ++i) ASSERT_EQ(i, seen[i]) << "in the order sent";
    endpoint.Deactivate();
  }
}

// The search stops while a burst waits for the UI thread: the stop returns (it serves the
// waiting hand-off itself) and no datagram of the burst reaches the handler after it.
TEST(SearchTargets, EndpointStoppedWhileABurstWaitsParsesNothingMore) {
  TLoopDispatcher ui;
  int handled = 0;
  TUdpEndpoint endpoint(ui, [&](std::span<const std::uint8_t>, std::uint32_t) { ++handled; });
  TSocketHandle sender = BoundTo("127.0.0.1", 0);
  ASSERT_TRUE(sender.valid());
  const std::uint16_t port = FreeLoopbackPort();
  ASSERT_TRUE(endpoint.Activate(port));
  for (int i = 0; i < 40; ++i) {
    ASSERT_TRUE(SendDatagram(sender.get(), Ip("127.0.0.1"), port, "reply", 5));
  }
  // The listener has taken the first burst and waits for the UI thread, which does not serve.
  std::this_thread::sleep_for(100ms);
  endpoint.Deactivate();
  EXPECT_EQ(0, handled);
  // Started again on the same port: only what is sent from now on arrives.
  ASSERT_TRUE(endpoint.Activate(port));
  ASSERT_TRUE(SendDatagram(sender.get(), Ip("127.0.0.1"), port, "fresh", 5));
  for (int wait = 0; wait < 50 && handled == 0; ++wait) ui.RunFor(20ms);
  ui.RunFor(50ms);
  EXPECT_EQ(1, handled);
  endpoint.Deactivate();
}

TEST(SearchDiagnostics, LinesNameAddressesInterfacesAndPorts) {
  TSearchDiagnostics fixed;
  fixed.Targets.Addresses = {Ip("127.255.255.255")};
  fixed.Targets.Fixed = true;
  EXPECT_EQ((std::vector<std::string>{
                "Addresses searched: 127.255.255.255",
                "The search address is fixed by CAMLIFT_BROADCAST_ADDR.",
                "Every local UDP port was bound.",
            }),
            DiagnosticLines(fixed));

  TSearchDiagnostics nothing;
  nothing.Targets.Addresses = {Ip("255.255.255.255")};
  nothing.Ports = {{10000, 10001}, {3565, 0}};
  nothing.UnansweredAddress = "10.1.1.1:8080";
  // One line per address and reason, the ports in the order they were refused.
  nothing.SendProblems = {{Ip("255.255.255.255"), 10000, ENETUNREACH},
                          {Ip("192.0.2.255"), 7999, EACCES},
                          {Ip("255.255.255.255"), 7999, ENETUNREACH},
                          {Ip("255.255.255.255"), 3565, EPERM}};
  EXPECT_EQ((std::vector<std::string>{
                "Addresses searched: 255.255.255.255",
                "No network interface with a broadcast address is up.",
                "Local UDP ports in use by another program (others taken instead): 10000 -> 10001",
                "Local UDP ports that could not be bound (that search is off): 3565",
                "No answer from the address typed in: 10.1.1.1:8080",
                "The search datagram could not be sent to 255.255.255.255:10000, 7999: Network is "
                "unreachable",
                "The search datagram could not be sent to 192.0.2.255:7999: Permission denied",
                "The search datagram could not be sent to 255.255.255.255:3565: Operation not "
                "permitted",
            }),
            DiagnosticLines(nothing));

  TSearchDiagnostics two;
  two.Targets.Addresses = {Ip("255.255.255.255"), Ip("192.0.2.255"), Ip("198.51.100.255")};
  two.Targets.Interfaces = {Net("eth0", "192.0.2.10", "255.255.255.0", "192.0.2.255"),
                            Net("eth1", "198.51.100.10", "255.255.255.0", "198.51.100.255")};
  const auto lines = DiagnosticLines(two);
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ("Addresses searched: 255.255.255.255, 192.0.2.255, 198.51.100.255", lines[0]);
  EXPECT_EQ("Interfaces searched: eth0 192.0.2.10/24, eth1 198.51.100.10/24", lines[1]);
}

// A port held by another program is reported with the one taken instead; the ports the engine's
// own endpoints took from each other (they move up together) are not.
TEST(SearchDiagnostics, EngineReportsPortsHeldByOthers) {
  ::setenv("CAMLIFT_BROADCAST_ADDR", "127.255.255.255", 1);
  TSocketHandle held_moi = MakeUdpSocket(false);
  TSocketHandle held_1010 = MakeUdpSocket(false);
  if (!BindUdp(held_moi.get(), 10000) || !BindUdp(held_1010.get(), 6800)) {
    GTEST_SKIP() << "ports 10000 and 6800 are in use by another test";
  }
  TLoopDispatcher ui;
  TDeviceList list;
  TSearchEngine engine(ui, list, R730Client(), nullptr);
  engine.Create();
  const TSearchDiagnostics diagnostics = engine.Diagnostics();
  const auto has = [&](std::uint16_t port, std::uint16_t instead) {
    return std::any_of(
        diagnostics.Ports.begin(), diagnostics.Ports.end(),
        [&](const TPortProblem& p) { return p.Port == port && p.UsedInstead == instead; });
  };
  EXPECT_TRUE(has(10000, engine.Endpoint(2).Port()));
  EXPECT_TRUE(has(6800, engine.Endpoint(5).Port()));
  for (const TPortProblem& problem : diagnostics.Ports) {
    for (int n = 1; n <= 5; ++n) EXPECT_NE(engine.Endpoint(n).Port(), problem.Port) << n;
  }
  EXPECT_TRUE(diagnostics.Targets.Fixed);
  for (int n = 1; n <= 5; ++n) {
    EXPECT_EQ((std::vector<std::string>{"127.255.255.255"}), Texts(engine.Endpoint(n).Targets()));
  }
  engine.Teardown();
}

TEST(SearchDiagnostics, SeriesRPortHeldByAnotherProgramIsReported) {
  TSocketHandle held = MakeUdpSocket(false);
  ASSERT_TRUE(BindUdp(held.get(), 0));
  const std::uint16_t port = BoundPort(held.get());
  SetR730SearchLocalPort(port);
  TLoopDispatcher ui;
  WaitR730SearchesDone(ui);
  R730Client().SearchDevices(port, [](const std::vector<TDevInfo>&) {});
  EXPECT_EQ(port, R730SearchBlockedPort());
  EXPECT_EQ(0, RunningR730Searches());
  held.reset();
  R730Client().SearchDevices(port, HandOffToUi(ui, [](const TDevInfo&) {}));
  EXPECT_EQ(0, R730SearchBlockedPort());
  StopR730Searches(ui);
  SetR730SearchLocalPort(k8600LocalPort);
}

}  // namespace
}  // namespace camlift
