// SPDX-License-Identifier: Apache-2.0
// The configuration calls of TR730Series against a simulated series R camera: each call's
// answers and failures, the caching of its records, the percent-encoded queries and the 8600
// settings datagram on the wire.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "discovery/dev_types.h"
#include "r730/r730_params.h"
#include "r730/r730_series.h"
#include "r730/r730_settings.h"
#include "support/r730_test_camera.h"

namespace camlift {
namespace {

constexpr const char* kUser = "admin";
// Every call sends it in its query: it only arrives intact when the query is encoded.
constexpr const char* kPassword = "p&ss word#1";

const auto& Address = test::ProcessLoopbackAddress;

std::string Hex(const TBytes& bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::uint8_t b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

class R730Config : public ::testing::Test {
 protected:
  void SetUp() override { Start(sim::TR730SimSettings{}); }

  void Start(sim::TR730SimSettings settings) {
    sim_.Start(std::move(settings));
    camera_ = &sim_.Camera();
    state_ = &sim_.State();
    client_ = std::make_unique<TR730Series>();
    client_->SetDevice(Device("48.2.0.121"));
  }

  std::string Mac() const { return sim_.Mac(); }

  TDevInfo Device(const std::string& version) const {
    TDevInfo d;
    d.DevType = kType8600;
    d.DevID = Mac();
    d.NormID = NormalizeID(d.DevID);
    d.IPAddr = camera_->config().ip;
    d.DevPort = static_cast<std::uint16_t>(camera_->http_port());
    d.Netmask = "255.0.0.0";
    d.Gateway = "127.0.0.1";
    d.DNS1 = "127.0.0.1";
    d.DevName = "Camlift simulated camera";
    d.Version = version;
    return d;
  }

  // The GET targets the camera was asked for, in order.
  std::vector<std::string> Targets() const {
    std::vector<std::string> out;
    for (const auto& e : sim_.Recorder().Entries()) {
      if (e.contains("target")) out.push_back(e["target"].get<std::string>());
    }
    return out;
  }
  std::vector<nlohmann::json> Datagrams() const { return sim_.Events("network-settings"); }
  int Count(const std::string& page) const {
    int n = 0;
    for (const std::string& t : Targets()) n += t.find(page) != std::string::npos;
    return n;
  }

  // Waits until the camera answers its login page at base_url.
  bool ComesUpAt(const std::string& base_url) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    TR730Series probe;
    while (std::chrono::steady_clock::now() < deadline) {
      if (probe.CheckLogin(base_url, kUser, kPassword)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  test::TR730TestCamera sim_{test::R730TestCameraWith(kPassword, 0x30)};
  sim::TSimCamera* camera_ = nullptr;
  sim::TR730SimState* state_ = nullptr;
  std::unique_ptr<TR730Series> client_;
};

TEST_F(R730Config, BaseUrlLeavesOutPort80) {
  EXPECT_EQ(client_->BaseUrl(),
            "http://" + Address(1) + ":" + std::to_string(camera_->http_port()));
  TDevInfo d = Device("1");
  d.DevPort = 80;
  client_->SetDevice(d);
  EXPECT_EQ(client_->BaseUrl(), "http://" + Address(1));
}

TEST_F(R730Config, CheckLogin) {
  const std::string base = client_->BaseUrl();
  EXPECT_TRUE(client_->CheckLogin(base, std::string(" ") + kUser + " ", kPassword));
  // The camera answers, but with "Auth Failed".
  EXPECT_FALSE(client_->CheckLogin(base, kUser, "wrong"));
  EXPECT_EQ(Targets().back(), "/get_params.cgi?user=admin&pwd=wrong");
  camera_->Stop();
  EXPECT_FALSE(client_->CheckLogin(base, kUser, kPassword));
}

TEST_F(R730Config, CallsWithoutACameraGiveTheirFailureValues) {
  TR730Series empty;
  EXPECT_EQ(empty.BaseUrl(), "");
  EXPECT_FALSE(empty.SetFactoryParams(kUser, kPassword, Device("1"), Device("1"), ""));
  EXPECT_FALSE(empty.RestoreDefaults(kUser, kPassword));
  std::vector<TWiFiEntry> list(2);
  EXPECT_EQ(empty.ScanWifi(kUser, kPassword, list), -1);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(empty.WriteWifi(kUser, kPassword), 0);  // before any read, too
  EXPECT_EQ(empty.ReadWifi(kUser, kPassword), nullptr);
  EXPECT_EQ(empty.WriteDdns(kUser, kPassword), 2);
  const TDdnsParams* ddns = empty.ReadDdns(kUser, kPassword, true);
  ASSERT_NE(ddns, nullptr);
  EXPECT_EQ(ddns->Status, 6);  // the request failed
  // With a camera but without the record the read makes.
  EXPECT_EQ(client_->WriteWifi(kUser, kPassword), 0);
  EXPECT_EQ(client_->WriteDdns(kUser, kPassword), 2);
  EXPECT_TRUE(Targets().empty());
}

TEST_F(R730Config, WifiSettingsReadOnceWrittenEncodedThenReboot) {
  TWiFiParams* p = client_->ReadWifi(kUser, kPassword);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->Enable, 1);
  EXPECT_EQ(p->SSID, "camlift-lab");
  EXPECT_EQ(p->Encrypt, 4);
  EXPECT_EQ(p->WpaPsk, "lab-passphrase");
  // Kept for the object's life: no second request.
  EXPECT_EQ(client_->ReadWifi(kUser, kPassword), p);
  EXPECT_EQ(Count("/get_params.cgi"), 1);

  p->SSID = "lab & guest #2";
  p->Key1 = "k=1?";
  p->Key1Bits = 128;
  p->WpaPsk = "  new passphrase  ";
  EXPECT_EQ(client_->WriteWifi(kUser, kPassword), 1);
  const sim::TR730SimSettings s = state_->Settings();
  EXPECT_EQ(s.wifi_ssid, "lab & guest #2");
  EXPECT_EQ(s.wifi_key[0], "k=1?");
  EXPECT_EQ(s.wifi_key_bits[0], 128);
  EXPECT_EQ(s.wifi_wpa_psk, "new passphrase");
  EXPECT_EQ(s.reboots, 1);
  const std::vector<std::string> targets = Targets();
  ASSERT_GE(targets.size(), 3u);
  EXPECT_EQ(targets[1].rfind("/set_wifi.cgi?next_url=rebootme.htm&user=admin&pwd=p%26ss%20word%231"
                             "&channel=5&enable=1&ssid=lab%20%26%20guest%20%232&mode=0",
                             0),
            0u)
      << targets[1];
  EXPECT_EQ(targets[2], "/reboot.cgi?next_url=reboot.htm");
}

TEST_F(R730Config, AnotherCameraIsReadAfresh) {
  ASSERT_NE(client_->ReadWifi(kUser, kPassword), nullptr);
  client_->SetDevice(Device("48.2.0.121"));  // the same camera again: the record stays
  EXPECT_NE(client_->ReadWifi(kUser, kPassword), nullptr);
  EXPECT_EQ(Count("/get_params.cgi"), 1);
  TDevInfo other = Device("48.2.0.121");
  other.DevID = "00:00:00:00:00:01";
  client_->SetDevice(other);
  EXPECT_NE(client_->ReadWifi(kUser, kPassword), nullptr);
  EXPECT_EQ(Count("/get_params.cgi"), 2);
}

TEST_F(R730Config, WifiReadFailures) {
  // "Auth Failed" holds no "var": none, but the empty record stays and answers later calls.
  EXPECT_EQ(client_->ReadWifi(kUser, "wrong"), nullptr);
  const TWiFiParams* later = client_->ReadWifi(kUser, kPassword);
  ASSERT_NE(later, nullptr);
  EXPECT_EQ(later->SSID, "");
  EXPECT_EQ(Count("/get_params.cgi"), 1);
  // The set page refuses the account: no "reboot" in its answer, no reboot asked for.
  EXPECT_EQ(client_->WriteWifi(kUser, "wrong"), 0);
  EXPECT_EQ(Count("/reboot.cgi"), 0);

  TR730Series other;
  other.SetDevice(Device("1"));
  camera_->Stop();
  const TWiFiParams* empty = other.ReadWifi(kUser, kPassword);
  ASSERT_NE(empty, nullptr);  // a failed request gives the empty record
  EXPECT_EQ(empty->SSID, "");
  EXPECT_EQ(other.WriteWifi(kUser, kPassword), 0);
}

TEST_F(R730Config, DdnsStatusFromTheCamerasPage) {
  struct Case {
    const char* what;
    void (*change)(sim::TR730SimSettings&);
    std::int32_t status;
  };
  const Case cases[] = {
      {"complete", [](sim::TR730SimSettings&) {}, 0},
      {"no service", [](sim::TR730SimSettings& s) { s.ddns_service = ""; }, 1},
      {"other service", [](sim::TR730SimSettings& s) { s.ddns_service = "3"; }, 2},
      {"proxy port 0", [](sim::TR730SimSettings& s) { s.ddns_proxy_port = "0"; }, 3},
      {"no proxy server", [](sim::TR730SimSettings& s) { s.ddns_proxy_svr = ""; }, 3},
      {"no user", [](sim::TR730SimSettings& s) { s.ddns_user = ""; }, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    state_->Update([](sim::TR730SimSettings& s) { s = sim::TR730SimSettings{}; });
    state_->Update(c.change);
    const TDdnsParams* p = client_->ReadDdns(kUser, kPassword, false);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Status, c.status);
  }
  state_->Update([](sim::TR730SimSettings& s) { s = sim::TR730SimSettings{}; });
  const TDdnsParams* p = client_->ReadDdns(kUser, kPassword, false);
  EXPECT_EQ(p->Service, "11");
  EXPECT_EQ(p->ProxyServer, "ddns.camlift.invalid");
  EXPECT_EQ(p->ProxyPort, "8080");
  EXPECT_EQ(p->Password, "ddns-secret");
  const int reads = Count("/get_params.cgi");
  EXPECT_EQ(client_->ReadDdns(kUser, kPassword, true), p);
  EXPECT_EQ(Count("/get_params.cgi"), reads);

  // A reply without "var" and a failed request change only the status.
  EXPECT_EQ(client_->ReadDdns(kUser, "wrong", false)->Status, 5);
  camera_->Stop();
  p = client_->ReadDdns(kUser, kPassword, false);
  EXPECT_EQ(p->Status, 6);
  EXPECT_EQ(p->User, "labcam");
}

TEST_F(R730Config, DdnsWrite) {
  TDdnsParams* p = client_->ReadDdns(kUser, kPassword, false);
  p->User = " new user ";
  p->Password = "x&y";
  p->ProxyServer = "proxy.camlift.invalid";
  p->ProxyPort = "9090";
  EXPECT_EQ(client_->WriteDdns(kUser, kPassword), 0);
  const sim::TR730SimSettings s = state_->Settings();
  EXPECT_EQ(s.ddns_user, "new user");
  EXPECT_EQ(s.ddns_pwd, "x&y");
  EXPECT_EQ(s.ddns_proxy_svr, "proxy.camlift.invalid");
  EXPECT_EQ(s.ddns_proxy_port, "9090");
  EXPECT_EQ(Targets().back(),
            "/set_ddns.cgi?service=11&user=new%20user&pwd=x%26y&host=&proxy_svr="
            "proxy.camlift.invalid&proxy_port=9090&restart_dyndns=&loginuse=admin&loginpas="
            "p%26ss%20word%231");
  EXPECT_EQ(client_->WriteDdns(kUser, "wrong"), 1);  // answered, without "ok"
  camera_->Stop();
  EXPECT_EQ(client_->WriteDdns(kUser, kPassword), 2);
}

TEST_F(R730Config, RestoreDefaultsTakesOkInAnyCase) {
  struct Case {
    const char* answer;
    bool ok;
  };
  for (const Case& c :
       {Case{"OK", true}, Case{"Ok\r\n", true}, Case{"result: ok.", true}, Case{"error", false}}) {
    SCOPED_TRACE(c.answer);
    sim::TR730SimBehaviour b;
    b.default_answer = c.answer;
    state_->SetBehaviour(b);
    EXPECT_EQ(client_->RestoreDefaults(" admin ", kPassword), c.ok);
  }
  EXPECT_EQ(state_->Settings().defaults_restored, 4);
  EXPECT_EQ(Targets().back(), "/set_default.cgi?&loginuse=admin&loginpas=p%26ss%20word%231");
  state_->SetBehaviour({});
  EXPECT_FALSE(client_->RestoreDefaults(kUser, "wrong"));
  camera_->Stop();
  EXPECT_FALSE(client_->RestoreDefaults(kUser, kPassword));
}

TEST_F(R730Config, ScanWifiListsTheAccessPoints) {
  std::vector<TWiFiEntry> list;
  ASSERT_EQ(client_->ScanWifi(kUser, kPassword, list), 2);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].Text, "camlift-lab(-42)");
  EXPECT_EQ(list[0].Record.Mac, "00:0A:0B:0C:0D:01");
  EXPECT_EQ(list[0].Record.Security, 4);
  EXPECT_EQ(list[1].Text, "guest net(-71)");
  EXPECT_EQ(list[1].Record.Dbm1, "-73");
  // The port is always written and the pages follow a second slash.
  const std::vector<std::string> targets = Targets();
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[0], "//wifi_scan.cgi?user=admin&pwd=p%26ss%20word%231");
  EXPECT_EQ(targets[1], "//get_wifi_scan_result.cgi?user=admin&pwd=p%26ss%20word%231");
}

TEST_F(R730Config, ScanWifiEdgeCases) {
  std::vector<TWiFiEntry> list(3);
  state_->Update([](sim::TR730SimSettings& s) { s.access_points.clear(); });
  EXPECT_EQ(client_->ScanWifi(kUser, kPassword, list), 0);
  EXPECT_TRUE(list.empty());

  struct Case {
    const char* what;
    sim::TR730SimBehaviour behaviour;
    const char* password;
  };
  sim::TR730SimBehaviour drops, refused;
  drops.faults = {sim::TCameraFault::WifiScanResultDrops};
  refused.faults = {sim::TCameraFault::WifiScanRefused};
  for (const Case& c :
       {Case{"second request fails", drops, kPassword}, Case{"scan refused", refused, kPassword},
        Case{"wrong account", {}, "wrong"}}) {
    SCOPED_TRACE(c.what);
    state_->SetBehaviour(c.behaviour);
    list.resize(2);
    EXPECT_EQ(client_->ScanWifi(kUser, c.password, list), -1);
    EXPECT_TRUE(list.empty());
  }
}

TEST_F(R730Config, FactoryParamsOnANewCameraRestoreTheDefaults) {
  TDevInfo wanted = Device("48.2.0.121");
  wanted.DevID = "001A2B3C4D5E";
  EXPECT_TRUE(client_->SetFactoryParams(kUser, kPassword, Device("x"), wanted, "A0b1C2d3E4f5"));
  const sim::TR730SimSettings s = state_->Settings();
  EXPECT_EQ(s.factory_mac, "00:1a:2b:3c:4d:5e");
  EXPECT_EQ(s.factory_wifimac, "a0:b1:c2:d3:e4:f5");
  EXPECT_EQ(s.heartbeat, "180");
  EXPECT_EQ(s.defaults_restored, 1);
  EXPECT_EQ(s.reboots, 0);
  EXPECT_EQ(Targets()[0],
            "/set_factory_param.cgi?user=admin&pwd=p%26ss%20word%231&mac=00:1a:2b:3c:4d:5e"
            "&wifimac=a0:b1:c2:d3:e4:f5&heartbeat=180");
}

TEST_F(R730Config, FactoryParamsOnAnOldCameraReboot) {
  client_->SetDevice(Device("48.2.0.120"));
  EXPECT_TRUE(client_->SetFactoryParams(kUser, kPassword, Device("x"), Device("x"), ""));
  EXPECT_EQ(state_->Settings().reboots, 1);
  EXPECT_EQ(state_->Settings().defaults_restored, 0);
  EXPECT_EQ(Targets().back(), "/reboot.cgi?loginuse=admin&loginpas=p%26ss%20word%231");
}

TEST_F(R730Config, FactoryParamsWithAWrongAccountStopThere) {
  EXPECT_FALSE(client_->SetFactoryParams(kUser, "wrong", Device("x"), Device("x"), ""));
  client_->SetDevice(Device("1.0"));
  EXPECT_FALSE(client_->SetFactoryParams(kUser, "wrong", Device("x"), Device("x"), ""));
  EXPECT_EQ(Targets().size(), 2u);  // only the two factory pages
  camera_->Stop();
  EXPECT_FALSE(client_->SetFactoryParams(kUser, kPassword, Device("x"), Device("x"), ""));
}

TEST_F(R730Config, FactoryParamsOnAnOldCameraWithANewAddressSendTheSettings) {
  client_->SetDevice(Device("48.2.0.120"));
  TDevInfo wanted = Device("48.2.0.120");
  wanted.IPAddr = Address(2);
  ASSERT_TRUE(client_->SetFactoryParams(kUser, kPassword, Device("x"), wanted, ""));
  EXPECT_EQ(Datagrams().size(), 1u);
  EXPECT_EQ(state_->Settings().reboots, 0);
  EXPECT_TRUE(ComesUpAt("http://" + Address(2) + ":" + std::to_string(wanted.DevPort)));
}

TEST_F(R730Config, SetNetworkMovesTheCamera) {
  TDevInfo wanted = Device("48.2.0.130");
  wanted.IPAddr = Address(3);
  wanted.DNS2 = "127.0.0.53";
  wanted.DhcpFlag = 1;
  ASSERT_EQ(client_->SetNetwork("ignored", 1, kUser, kPassword, wanted, TDevInfo{}),
            TSettingsOutcome::Taken);
  const std::vector<nlohmann::json> sent = Datagrams();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0]["size"], 324);
  // Every field where the camera reads it; the address, MAC and port are this test's own.
  TBytes expected(324, 0);
  const auto put = [&](std::size_t at, const std::string& text) {
    std::copy(text.begin(), text.end(), expected.begin() + static_cast<std::ptrdiff_t>(at));
  };
  expected[0] = 0x44, expected[1] = 0x48, expected[2] = 0x02, expected[3] = 0x01;
  put(4, Address(3));
  put(20, "255.0.0.0");
  put(36, "127.0.0.1");
  put(52, "127.0.0.1");
  put(68, "127.0.0.53");
  const unsigned pid = static_cast<unsigned>(::getpid());
  const std::uint8_t mac[] = {0x02,
                              static_cast<std::uint8_t>(pid >> 16),
                              static_cast<std::uint8_t>(pid >> 8),
                              static_cast<std::uint8_t>(pid),
                              0x7E,
                              0x30};
  std::copy(std::begin(mac), std::end(mac), expected.begin() + 84);
  expected[90] = static_cast<std::uint8_t>(wanted.DevPort & 0xFF);
  expected[91] = static_cast<std::uint8_t>(wanted.DevPort >> 8);
  put(124, "Camlift simulated camera");
  put(204, "48.2.0.130");
  put(236, "admin");
  put(268, "p&ss word#1");
  expected[301] = 1;  // DHCP on
  EXPECT_EQ(sent[0]["datagram"], Hex(expected));
  ASSERT_TRUE(ComesUpAt("http://" + Address(3) + ":" + std::to_string(wanted.DevPort)));
  EXPECT_EQ(camera_->config().ip, Address(3));
  EXPECT_EQ(state_->Settings().dns2, "127.0.0.53");
  EXPECT_TRUE(state_->Settings().dhcp);
}

TEST_F(R730Config, SetNetworkIgnoresOtherDatagramsWhileItWaits) {
  sim::TR730SimBehaviour noise;
  noise.faults = {sim::TCameraFault::NetworkSettingsNoise,
                  sim::TCameraFault::NetworkSettingsRefused};
  state_->SetBehaviour(noise);
  // The search reply and the stray datagram come first; the refusal after them decides.
  EXPECT_EQ(client_->SetNetwork("", 0, kUser, kPassword, Device("1"), Device("1")),
            TSettingsOutcome::Refused);
  noise.faults.erase(sim::TCameraFault::NetworkSettingsRefused);
  state_->SetBehaviour(noise);
  EXPECT_EQ(client_->SetNetwork("", 0, kUser, kPassword, Device("1"), Device("1")),
            TSettingsOutcome::Taken);
}

// A refusal (the camera answers "not taken", as for a wrong account) is told apart from silence
// (no camera carries the MAC, or the camera heard and did not answer) and from settings that
// never went out.
TEST_F(R730Config, SetNetworkFailures) {
  TDevInfo wanted = Device("1");
  EXPECT_EQ(client_->SetNetwork("", 0, kUser, "wrong", wanted, wanted), TSettingsOutcome::Refused);
  ASSERT_EQ(Datagrams().size(), 1u);

  // Not sent at all: the datagram cannot hold them.
  TDevInfo long_name = wanted;
  long_name.DevName = std::string(80, 'n');
  EXPECT_EQ(client_->SetNetwork("", 0, kUser, kPassword, long_name, wanted),
            TSettingsOutcome::NotSent);
  EXPECT_EQ(client_->SetNetwork("", 0, std::string(32, 'u'), kPassword, wanted, wanted),
            TSettingsOutcome::NotSent);
  EXPECT_EQ(Datagrams().size(), 1u);

  TDevInfo stranger = wanted;
  stranger.NormID = "02FFFFFFFF01";
  EXPECT_EQ(client_->SetNetwork("", 0, kUser, kPassword, stranger, wanted),
            TSettingsOutcome::NoAnswer);
  sim::TR730SimBehaviour silent;
  silent.faults = {sim::TCameraFault::NetworkSettingsSilent};
  state_->SetBehaviour(silent);
  EXPECT_EQ(client_->SetNetwork("", 0, kUser, kPassword, wanted, wanted),
            TSettingsOutcome::NoAnswer);
}

}  // namespace
}  // namespace camlift
