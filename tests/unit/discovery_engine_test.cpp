// SPDX-License-Identifier: Apache-2.0
// The search on loopback: endpoints, the series R receive thread, the closed-library wrapper and
// the whole engine against the simulator's search responders. CTest keeps every broadcast on
// 127.255.255.255.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "discovery/device_list.h"
#include "discovery/find_hisi.h"
#include "discovery/follow_up_sender.h"
#include "discovery/manual_probe.h"
#include "discovery/reply_intake.h"
#include "discovery/reply_parsers.h"
#include "discovery/search_datagrams.h"
#include "discovery/search_engine.h"
#include "discovery/tools_net.h"
#include "platform/broadcast.h"
#include "platform/socket.h"
#include "platform/thread_start.h"
#include "r730/r730_search.h"
#include "search_responder_1010.h"
#include "search_responder_8600.h"
#include "search_responder_moi.h"
#include "util/tools.h"

namespace camlift {
namespace {

using namespace std::chrono_literals;

// A UDP port nobody uses right now, so that these tests do not meet the searches and simulated
// cameras of tests that run beside them on the standard ports.
std::uint16_t FreeUdpPort() {
  TSocketHandle probe = MakeUdpSocket(false);
  EXPECT_TRUE(BindUdp(probe.get(), 0));
  sockaddr_in local{};
  socklen_t length = sizeof local;
  ::getsockname(probe.get(), reinterpret_cast<sockaddr*>(&local), &length);
  return ntohs(local.sin_port);
}

// Query ports where no camera listens.
TSearchPorts IsolatedPorts() {
  TSearchPorts ports;
  ports.SetAll(FreeUdpPort());
  return ports;
}

sim::TSearchIdentity Identity(const std::string& ip, std::uint8_t last_mac_byte) {
  sim::TSearchIdentity id;
  id.ip = ip;
  id.mac = {0x02, 0x00, 0x00, 0x00, 0x00, last_mac_byte};
  id.device_id = "SIM-" + std::to_string(last_mac_byte);
  id.name = "cam " + std::to_string(last_mac_byte);
  id.sys_version = "1.2.3.4";
  id.app_version = "5.6.7.8";
  id.port = static_cast<std::uint16_t>(8000 + last_mac_byte);
  id.dhcp = true;
  id.ddns_host = "h" + std::to_string(last_mac_byte) + ".example";
  id.ddns_user = "u" + std::to_string(last_mac_byte);
  id.ddns_password = "p" + std::to_string(last_mac_byte);
  return id;
}

class DiscoveryLoopback : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("CAMLIFT_BROADCAST_ADDR", "127.255.255.255", 1);
    SetR730SearchLocalPort(FreeUdpPort());
  }
  void TearDown() override { SetR730SearchLocalPort(k8600LocalPort); }

  // Serves the UI thread until done() or the time is up.
  bool ServeUntil(TLoopDispatcher& ui, const std::function<bool()>& done,
                  std::chrono::milliseconds limit = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      ui.ProcessPending();
      if (done()) return true;
      std::this_thread::sleep_for(2ms);
    }
    return done();
  }
};

TEST_F(DiscoveryLoopback, BindFreePortSkipsATakenPort) {
  TLoopDispatcher ui;
  TUdpEndpoint probe(ui, [](auto, auto) {});
  ASSERT_TRUE(TTools_Net::BindFreePort(probe, 41000));
  const std::uint16_t taken = probe.Port();
  TUdpEndpoint second(ui, [](auto, auto) {});
  ASSERT_TRUE(TTools_Net::BindFreePort(second, taken));
  EXPECT_GT(second.Port(), taken);
  EXPECT_LT(second.Port(), taken + 1000);  // the start port and the 999 after it
  second.Deactivate();
  EXPECT_FALSE(second.Active());
  EXPECT_FALSE(second.Broadcast(1, {}));  // an inactive endpoint's sends fail silently
}

// The endpoint hands each datagram to the UI thread, and deactivating it while its listener
// waits for the UI thread does not hang.
TEST_F(DiscoveryLoopback, EndpointHandsOverAndStopsWhileAHandOffWaits) {
  TLoopDispatcher ui;
  std::vector<std::string> received;
  const auto ui_thread = std::this_thread::get_id();
  TUdpEndpoint listener(ui, [&](std::span<const std::uint8_t> d, std::uint32_t) {
    EXPECT_EQ(ui_thread, std::this_thread::get_id());
    received.emplace_back(d.begin(), d.end());
  });
  ASSERT_TRUE(TTools_Net::BindFreePort(listener, 42000));
  TUdpEndpoint sender(ui, [](auto, auto) {});
  ASSERT_TRUE(TTools_Net::BindFreePort(sender, 42100));
  const std::string text = "hello";
  sender.Broadcast(listener.Port(),
                   std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  ASSERT_TRUE(ServeUntil(ui, [&] { return received.size() == 1; }));
  EXPECT_EQ("hello", received[0]);
  sender.Broadcast(listener.Port(),
                   std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  std::this_thread::sleep_for(50ms);  // the listener now waits in Invoke
  listener.Deactivate();
  EXPECT_EQ(1u, received.size());  // taken after the stop: dropped
}

TEST_F(DiscoveryLoopback, SeriesRSearchHandsRecordsToTheUiThread) {
  auto responder = sim::Make8600Responder(Identity("10.0.0.9", 9), 0, nullptr, "r");
  responder->Start();
  const std::uint16_t port = responder->Port();
  TLoopDispatcher ui;
  WaitR730SearchesDone(ui);
  std::vector<TDevInfo> records;
  const auto ui_thread = std::this_thread::get_id();
  R730Client().SearchDevices(port, HandOffToUi(ui, [&](const TDevInfo& record) {
                               EXPECT_EQ(ui_thread, std::this_thread::get_id());
                               records.push_back(record);
                             }));
  EXPECT_EQ(1, RunningR730Searches());
  // A second search while the first holds port 3565 sends nothing and starts no thread.
  R730Client().SearchDevices(port, [](const std::vector<TDevInfo>&) {});
  EXPECT_EQ(1, RunningR730Searches());
  WaitR730SearchesDone(ui);
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ(9, records[0].DevType);
  EXPECT_EQ("10.0.0.9", records[0].IPAddr);
  EXPECT_EQ("02:00:00:00:00:09", records[0].DevID);
  EXPECT_EQ(1, responder->Received());
}

// The simulated cameras of one process share a dialect's port through one socket. A datagram
// sent to one camera's own address reaches that camera alone; a broadcast reaches each of them.
TEST_F(DiscoveryLoopback, CamerasSharingAPortHearBroadcastsAllAndUnicastsAlone) {
  const std::uint16_t port = FreeUdpPort();
  std::vector<std::unique_ptr<sim::TSearchResponder>> cameras;
  for (const char* ip : {"127.0.0.21", "127.0.0.22"}) {
    cameras.push_back(sim::Make8600Responder(Identity(ip, 21), port, nullptr, ip));
    cameras.back()->SetReplySource(ip);
    cameras.back()->Start();
  }
  TSocketHandle asker = MakeUdpSocket(true);
  ASSERT_TRUE(BindUdp(asker.get(), 0));
  const auto received = [&] {
    return std::vector<int>{cameras[0]->Received(), cameras[1]->Received()};
  };
  const auto send_to = [&](const char* address, std::vector<int> expected) {
    SCOPED_TRACE(address);
    const std::string query = "DH\x01\x01";
    ASSERT_TRUE(SendDatagram(asker.get(), ParseDottedIPv4(address).value(), port, query.data(),
                             query.size()));
    for (int wait = 0; wait < 200 && received() != expected; ++wait) {
      std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(expected, received());
  };
  send_to("127.0.0.22", {0, 1});
  send_to("127.0.0.21", {1, 1});
  send_to("127.255.255.255", {2, 2});
  // A camera that heard more than it should have shows it here.
  send_to("127.0.0.22", {2, 3});
}

TEST_F(DiscoveryLoopback, EngineListsEveryDialect) {
  auto moi = sim::MakeMoiResponder(Identity("10.0.0.2", 2), 0, nullptr, "m");
  moi->Start();
  auto p1 = sim::Make1010Responder(Identity("10.0.0.8", 8), 0, nullptr, "p1");
  p1->Start();
  // Two 1010 cameras on one port: the requests reach both, each answers only its own.
  auto p2 = sim::Make1010Responder(Identity("10.0.0.18", 18), p1->Port(), nullptr, "p2");
  p2->Start();
  auto r = sim::Make8600Responder(Identity("10.0.0.9", 9), 0, nullptr, "r");
  r->Start();
  TSearchPorts ports;
  ports["moi"] = moi->Port();
  ports["1010"] = p1->Port();
  ports["8600"] = r->Port();
  // Simulated K cameras of tests running at the same time answer the CTP search on 7999: this
  // search asks a port that only this test holds (and never reads).
  TSocketHandle quiet = MakeUdpSocket(false);
  ASSERT_TRUE(BindUdp(quiet.get(), 0));
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  ::getsockname(quiet.get(), reinterpret_cast<sockaddr*>(&bound), &length);
  ports["ctp"] = ntohs(bound.sin_port);

  TLoopDispatcher ui;
  TDeviceList list;
  TSearchEngine engine(ui, list, R730Client(), nullptr, ports);
  engine.Create();
  for (int n = 1; n <= 5; ++n) EXPECT_TRUE(engine.Endpoint(n).Active()) << n;
  engine.TimerTick();
  const auto complete = [&] {
    const TDevInfo* a = list.FindByID("020000000008");
    const TDevInfo* b = list.FindByID("020000000012");
    return list.Count() == 4 && a && b && !a->DdnsHost.empty() && !b->DdnsHost.empty();
  };
  ASSERT_TRUE(ServeUntil(ui, complete)) << list.Count();
  WaitR730SearchesDone(ui);

  std::vector<std::string> ips;
  for (const TDevInfo& d : list.Rows()) ips.push_back(d.IPAddr);
  EXPECT_EQ((std::vector<std::string>{"10.0.0.2", "10.0.0.8", "10.0.0.9", "10.0.0.18"}), ips);
  const TDevInfo& m = list.Rows()[0];
  EXPECT_EQ(2, m.DevType);
  EXPECT_EQ("SIM-2", m.DevID);
  EXPECT_EQ("1.2.3.4:5.6.7.8", m.Version);
  EXPECT_EQ(8002, m.DevPort);
  EXPECT_EQ(1, m.DhcpFlag);
  EXPECT_EQ("h2.example", m.DdnsHost);
  const TDevInfo* e1010 = list.FindByID("020000000008");
  EXPECT_EQ(8, e1010->DevType);
  EXPECT_EQ("cam 8", e1010->DevName);
  EXPECT_EQ("1.2.3.4", e1010->Version);
  EXPECT_EQ("h8.example", e1010->DdnsHost);
  EXPECT_EQ("u8", e1010->DdnsUser);
  EXPECT_EQ("p8", e1010->DdnsPassword);
  EXPECT_EQ(10, e1010->Lifetime);  // refreshed by its DDNS reply
  const TDevInfo* r8600 = list.FindByID("02:00:00:00:00:09");
  EXPECT_EQ(9, r8600->DevType);
  EXPECT_EQ(8009, r8600->DevPort);
  EXPECT_NE(nullptr, list.SelectedEntry());  // the first camera that answered

  // The query went out once per pass; the 1010 cameras got the three steps each.
  EXPECT_EQ(1, moi->Received());
  EXPECT_EQ(1, r->Received());
  EXPECT_EQ(5, p1->Received());  // the query, both cameras' two requests
  EXPECT_EQ(5, p2->Received());
  engine.Teardown();
  EXPECT_TRUE(list.Empty());
  EXPECT_FALSE(engine.Endpoint(5).Active());
}

#ifdef CAMLIFT_STANDIN_LIBRARY
TEST_F(DiscoveryLoopback, ClosedLibraryRecordsReachTheListThroughTheUiThread) {
  ::setenv("CAMLIFT_STANDIN_DEVICES",
           "Hall|10.0.0.44|0011223344aa|81|7|255.255.255.0|10.0.0.1|10.0.0.2|1;"
           "Hall|10.0.0.44|0011223344aa|81|7|255.255.255.0|10.0.0.1|10.0.0.2|1;"
           "Shed|10.0.0.45|0011223344bb|82|0|255.255.255.0|10.0.0.1|10.0.0.2|2;"
           "Barn|10.0.0.46|0011223344cc|83|0|255.255.255.0|10.0.0.1|10.0.0.2|0",
           1);
  TLoopDispatcher ui;
  TDeviceList list;
  TFind_Hisi finder(CAMLIFT_STANDIN_LIBRARY);
  ASSERT_TRUE(finder.Loaded());
  TSearchEngine engine(ui, list, R730Client(), &finder, IsolatedPorts());
  engine.Create();
  engine.Find();
  ASSERT_TRUE(ServeUntil(ui, [&] { return list.Count() >= 3; }));
  using LastCall = int32_t (*)(int32_t*, int32_t*, int32_t*);
  void* handle = ::dlopen(CAMLIFT_STANDIN_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(nullptr, handle);
  auto last_call = reinterpret_cast<LastCall>(::dlsym(handle, "DVSNET_StandinLastCall"));
  int32_t wait = 0, mode = 0, reserved = -1;
  EXPECT_EQ(1, last_call(&wait, &mode, &reserved));
  EXPECT_EQ(3000, wait);
  EXPECT_EQ(1, mode);
  EXPECT_EQ(0, reserved);
  ::dlclose(handle);

  ASSERT_EQ(3u, list.Count());  // the device reported twice is one row
  const TDevInfo* hall = list.FindByID("0011223344aa");
  ASSERT_NE(nullptr, hall);
  EXPECT_EQ(4, hall->DevType);
  EXPECT_EQ("Hall", hall->DevName);
  EXPECT_EQ(81, hall->DevPort);
  EXPECT_EQ(7, hall->AuxWord);
  EXPECT_EQ("255.255.255.0", hall->Netmask);
  EXPECT_EQ("10.0.0.1", hall->Gateway);
  EXPECT_EQ("10.0.0.2", hall->DNS1);
  EXPECT_EQ("", hall->NormID);
  EXPECT_EQ(1, hall->DhcpFlag);
  EXPECT_EQ(2, list.FindByID("0011223344bb")->DhcpFlag);
  EXPECT_EQ(2, list.FindByID("0011223344cc")->DhcpFlag);
  for (int i = 0; i < 40; ++i) list.Tick();
  EXPECT_EQ(3u, list.Count());  // type 4 does not expire
  EXPECT_EQ(-1, list.Accept().nTYpe);

  ::setenv("CAMLIFT_STANDIN_RESULT", "5", 1);
  EXPECT_FALSE(finder.StartSearch());
  ::unsetenv("CAMLIFT_STANDIN_RESULT");
  engine.Teardown();
  EXPECT_FALSE(finder.Loaded());
  EXPECT_FALSE(finder.StartSearch());
  ::unsetenv("CAMLIFT_STANDIN_DEVICES");
}
#endif

// Counts what goes out, per port, as one adapter would see it.
class TCountingSender final : public IDatagramSender {
 public:
  bool Broadcast(std::uint16_t port, std::span<const std::uint8_t> bytes) override {
    sent.emplace_back(port, TBytes(bytes.begin(), bytes.end()));
    return true;
  }
  std::vector<std::pair<std::uint16_t, TBytes>> sent;
};

TBytes Hello1010(std::uint8_t id) {
  TBytes hello(140, 0);
  hello[0] = 0x10;
  hello[1] = 0x10;
  hello[2] = 0x01;  // 0x8F01, little-endian
  hello[3] = 0x8F;
  hello[12] = id;
  return hello;
}

// A camera answers each copy of the query it hears (limited and directed broadcast): the copies
// of its answer ask one follow-up, which goes out once per pass; another camera's is its own.
TEST(FollowUps, EachDistinctFollowUpGoesOutOncePerPass) {
  TCountingSender endpoint;
  TFollowUpSender follow_ups(endpoint);
  const auto none = [](const std::string&) -> TDevInfo* { return nullptr; };
  for (int copy = 0; copy < 2; ++copy) {
    TDevInfo record;
    EXPECT_FALSE(ParseReply(Hello1010(1), record, &follow_ups, none, 6801));
  }
  TDevInfo record;
  ParseReply(Hello1010(2), record, &follow_ups, none, 6801);
  ASSERT_EQ(2u, endpoint.sent.size());
  EXPECT_EQ(6801, endpoint.sent[0].first);
  EXPECT_EQ(0x12, endpoint.sent[0].second[2]);  // 0x0F12
  EXPECT_EQ(0x0F, endpoint.sent[0].second[3]);
  EXPECT_EQ(1, endpoint.sent[0].second[8]);
  EXPECT_EQ(2, endpoint.sent[1].second[8]);
  // The next pass asks again.
  follow_ups.NewPass();
  ParseReply(Hello1010(1), record, &follow_ups, none, 6801);
  EXPECT_EQ(3u, endpoint.sent.size());
}

#ifdef CAMLIFT_STANDIN_LIBRARY
// The library's second search waits for the first one's callback thread, which waits for the UI
// thread: Find must serve it while the library starts.
TEST_F(DiscoveryLoopback, AQuickSecondFindWithTheLibraryDoesNotHang) {
  std::string devices;
  for (int i = 0; i < 20; ++i) {
    char mac[13];
    std::snprintf(mac, sizeof mac, "0011223344%02x", i);
    devices += "Cam|10.0.1." + std::to_string(i + 1) + "|" + mac + "|81|0|255.0.0.0|0|0|1;";
  }
  ::setenv("CAMLIFT_STANDIN_DEVICES", devices.c_str(), 1);
  std::atomic<bool> finished{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 300 && !finished; ++i) std::this_thread::sleep_for(100ms);
    if (!finished) {
      std::fprintf(stderr, "Find hung: the library's start waits for the UI thread\n");
      std::abort();
    }
  });
  {
    TLoopDispatcher ui;
    TDeviceList list;
    TFind_Hisi finder(CAMLIFT_STANDIN_LIBRARY);
    ASSERT_TRUE(finder.Loaded());
    TSearchEngine engine(ui, list, R730Client(), &finder, IsolatedPorts());
    engine.Create();
    engine.Find();
    engine.Find();  // at once: the first search's callbacks still wait for the UI thread
    EXPECT_TRUE(ServeUntil(ui, [&] { return list.Count() == 20; }));
    engine.Teardown();
  }
  finished = true;
  watchdog.join();
  ::unsetenv("CAMLIFT_STANDIN_DEVICES");
}
#endif

// Two engines one after the other (the window's dialog and a test's, or the CLI's): each hands
// its series R records to its own UI thread; the first one's teardown takes nothing from the
// second.
TEST_F(DiscoveryLoopback, EachEngineHandsSeriesRRecordsToItsOwnUiThread) {
  auto responder = sim::Make8600Responder(Identity("10.0.0.19", 19), 0, nullptr, "r");
  responder->Start();
  TSearchPorts ports = IsolatedPorts();
  ports["8600"] = responder->Port();
  TLoopDispatcher ui;
  TDeviceList first_list;
  TSearchEngine first(ui, first_list, R730Client(), nullptr, ports);
  first.Create();
  TDeviceList list;
  TSearchEngine second(ui, list, R730Client(), nullptr, ports);
  second.Create();
  first.Teardown();
  const auto ui_thread = std::this_thread::get_id();
  bool off_thread = false;
  list.SetOnChanged([&] { off_thread = off_thread || std::this_thread::get_id() != ui_thread; });
  second.SearchPass(0, false);
  EXPECT_TRUE(ServeUntil(ui, [&] { return list.Count() == 1; }));
  EXPECT_FALSE(off_thread);
  second.Teardown();
}

// A thread that cannot be started leaves no count behind: teardown does not wait for it.
TEST_F(DiscoveryLoopback, AFailedThreadStartLeavesNoCountBehind) {
  TLoopDispatcher ui;
  WaitR730SearchesDone(ui);
  SetThreadStartFailureForTesting(true);
  R730Client().SearchDevices(FreeUdpPort(), HandOffToUi(ui, [](const TDevInfo&) {}));
  EXPECT_EQ(0, RunningR730Searches());
  TManualProbe probe(ui);
  std::optional<std::string> unanswered;
  probe.Start("127.0.0.1:1", [&](const std::string& address, const std::optional<TDevInfo>& r) {
    if (!r) unanswered = address;
  });
  SetThreadStartFailureForTesting(false);
  EXPECT_EQ(0, probe.Running());
  EXPECT_EQ("127.0.0.1:1", unanswered.value_or("none"));
  StopR730Searches(ui);  // returns at once
  probe.WaitDone();
}

TEST_F(DiscoveryLoopback, WithoutTheLibraryNothingHappens) {
  TFind_Hisi finder("/nonexistent/515/libDVSNETClient.so");
  EXPECT_FALSE(finder.Loaded());
  bool called = false;
  finder.SetCallback([&](const TDevInfo&) { called = true; });
  EXPECT_FALSE(finder.StartSearch());
  finder.Shutdown(nullptr);
  EXPECT_FALSE(called);
  EXPECT_EQ(TTools::ModulePath() + "515/libDVSNETClient.so", TFind_Hisi::DefaultLibraryPath());
}

// An installed copy keeps nothing beside itself in /usr/bin: the library is in its library
// folder; a build tree or a copy elsewhere has it in 515/ beside the program.
TEST(ClosedSearchLibrary, InstalledCopiesLookInTheLibraryFolder) {
  const std::string lib = "/usr/lib/x86_64-linux-gnu/";
  EXPECT_EQ("/usr/lib/x86_64-linux-gnu/camlift/libDVSNETClient.so",
            TFind_Hisi::LibraryPathFor("/usr/bin/", lib));
  EXPECT_EQ("/usr/lib/x86_64-linux-gnu/camlift/libDVSNETClient.so",
            TFind_Hisi::LibraryPathFor("/usr/local/bin/", lib));
  EXPECT_EQ("/opt/camlift/515/libDVSNETClient.so",
            TFind_Hisi::LibraryPathFor("/opt/camlift/", lib));
  EXPECT_EQ("/home/ann/camlift/build/cli/515/libDVSNETClient.so",
            TFind_Hisi::LibraryPathFor("/home/ann/camlift/build/cli/", lib));
}

}  // namespace
}  // namespace camlift
