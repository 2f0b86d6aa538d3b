// SPDX-License-Identifier: Apache-2.0
// camlift r730 against a simulated series R camera: every subcommand, its exit status, its
// output with and without --json, and secrets kept out of the output unless asked for.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "r730_sim_config.h"
#include "search_responder_ext.h"
#include "sim_camera.h"
#include "sim_scenario.h"
#include "support/host_port_lock.h"
#include "support/process.h"
#include "support/r730_test_camera.h"
#include "support/temp_folder.h"

namespace camlift::test {
namespace {

constexpr const char* kPassword = "pw&1 x";

const auto& Address = ProcessLoopbackAddress;
constexpr std::uint8_t kMacLast = 0x31;
std::string Mac() { return ProcessMac(kMacLast); }

class R730Command : public ::testing::Test {
 protected:
  // The calls by MAC search from the host's UDP port 3565: one such test at a time.
  THostPortLock port_lock_{"udp-3565"};

  void SetUp() override {
    TR730TestCameraOptions options;
    options.host = 11;
    options.sys_version = "48.2.0.130";
    options.answers_search = true;
    options.password = kPassword;
    options.mac_last = kMacLast;
    sim_ = std::make_unique<TR730TestCamera>(options);
    sim_->Start();
    camera_ = &sim_->Camera();
    state_ = &sim_->State();
  }

  TProcessResult Run(const std::string& sub, std::vector<std::string> extra, bool by_address = true,
                     const std::string& password = kPassword) {
    std::vector<std::string> args = {CAMLIFT_EXE, "r730", sub, "--password", password};
    if (by_address) {
      args.insert(args.end(),
                  {"--ip", camera_->config().ip, "--port", std::to_string(camera_->http_port())});
    }
    args.insert(args.end(), extra.begin(), extra.end());
    return RunProcess(args, {{"CAMLIFT_TIME_SCALE", "0.01"},
                             {"LC_ALL", "C"},
                             {"XDG_CONFIG_HOME", temp_.path() + "config"}});
  }

  static nlohmann::json Json(const TProcessResult& r) {
    const std::vector<std::string> lines = Lines(r.out);
    EXPECT_EQ(lines.size(), 1u) << r.out;
    return lines.empty() ? nlohmann::json() : nlohmann::json::parse(lines.front());
  }

  TTempFolder temp_;
  std::unique_ptr<TR730TestCamera> sim_;
  sim::TSimCamera* camera_ = nullptr;
  sim::TR730SimState* state_ = nullptr;
};

TEST_F(R730Command, CheckLoginExitStatus) {
  TProcessResult r = Run("check-login", {});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  r = Run("check-login", {"--json"});
  EXPECT_EQ(Json(r)["ok"], true);
  r = Run("check-login", {"--json"}, true, "wrong");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(Json(r)["ok"], false);
  r = Run("check-login", {}, false);
  EXPECT_EQ(r.exit_code, 2);
  r = Run("check-login", {"--port", "0"});
  EXPECT_EQ(r.exit_code, 2);
}

// The password off the command line, as for camlift upgrade.
TEST_F(R730Command, PasswordFromFileEnvironmentOrStdin) {
  WriteFile(temp_.path() + "password", std::string(kPassword) + "\n");
  WriteFile(temp_.path() + "wrong", "wrong\n");
  struct Case {
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    std::string stdin_text;
    int exit_code;
  };
  const Case cases[] = {
      {{"--password-file", temp_.path() + "password"}, {}, "", 0},
      {{}, {{"CAMLIFT_PASSWORD", kPassword}}, "", 0},
      {{"--password", "-"}, {}, std::string(kPassword) + "\n", 0},
      {{"--password-file", temp_.path() + "wrong"}, {}, "", 1},
      {{"--password-file", temp_.path() + "missing"}, {}, "", 2},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {CAMLIFT_EXE,
                                     "r730",
                                     "check-login",
                                     "--ip",
                                     camera_->config().ip,
                                     "--port",
                                     std::to_string(camera_->http_port())};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::map<std::string, std::string> env = {{"CAMLIFT_TIME_SCALE", "0.01"},
                                              {"LC_ALL", "C"},
                                              {"XDG_CONFIG_HOME", temp_.path() + "config"},
                                              {"CAMLIFT_PASSWORD", ""}};
    for (const auto& [name, value] : c.env) env[name] = value;
    const TProcessResult r = RunProcess(args, env, c.stdin_text);
    EXPECT_EQ(c.exit_code, r.exit_code) << (c.args.empty() ? "environment" : c.args[1]) << r.err;
  }
}

TEST_F(R730Command, WifiGetHidesKeysUnlessAsked) {
  state_->Update([](sim::TR730SimSettings& s) { s.wifi_key[1] = "wep-secret"; });
  TProcessResult r = Run("wifi-get", {});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("SSID:      camlift-lab"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("lab-passphrase"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("wep-secret"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("(hidden)"), std::string::npos) << r.out;

  nlohmann::json j = Json(Run("wifi-get", {"--json"}));
  EXPECT_EQ(j["wifi"]["ssid"], "camlift-lab");
  EXPECT_TRUE(j["wifi"]["wpaPsk"].is_null());
  j = Json(Run("wifi-get", {"--json", "--show-secrets"}));
  EXPECT_EQ(j["wifi"]["wpaPsk"], "lab-passphrase");
  EXPECT_EQ(j["wifi"]["key2"], "wep-secret");

  EXPECT_EQ(Run("wifi-get", {}, true, "wrong").exit_code, 1);
}

TEST_F(R730Command, WifiSetChangesOnlyWhatIsGiven) {
  const TProcessResult r = Run("wifi-set", {"--ssid", "new & net", "--wpa-psk", "psk#2"});
  ASSERT_EQ(r.exit_code, 0) << r.err << r.out;
  EXPECT_EQ(r.out.find("psk#2"), std::string::npos);
  const sim::TR730SimSettings s = state_->Settings();
  EXPECT_EQ(s.wifi_ssid, "new & net");
  EXPECT_EQ(s.wifi_wpa_psk, "psk#2");
  EXPECT_EQ(s.wifi_encrypt, 4);  // as read
  EXPECT_EQ(s.reboots, 1);
  // A camera that refuses the account keeps its settings: nothing is written.
  ASSERT_TRUE(camera_->WaitUntilUp(10000));
  EXPECT_EQ(Run("wifi-set", {"--ssid", "x"}, true, "wrong").exit_code, 1);
  EXPECT_EQ(state_->Settings().wifi_ssid, "new & net");
}

TEST_F(R730Command, WifiScan) {
  TProcessResult r = Run("wifi-scan", {});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("2 access points"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("guest net(-71)"), std::string::npos) << r.out;
  const nlohmann::json j = Json(Run("wifi-scan", {"--json"}));
  EXPECT_EQ(j["count"], 2);
  EXPECT_EQ(j["accessPoints"][1]["ssid"], "guest net");
  sim::TR730SimBehaviour drops;
  drops.faults = {sim::TCameraFault::WifiScanResultDrops};
  state_->SetBehaviour(drops);
  EXPECT_EQ(Run("wifi-scan", {}).exit_code, 1);
}

TEST_F(R730Command, DdnsGetAndSet) {
  TProcessResult r = Run("ddns-get", {});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("Status:       0 (complete)"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("ddns-secret"), std::string::npos) << r.out;
  nlohmann::json j = Json(Run("ddns-get", {"--json", "--show-secrets"}));
  EXPECT_EQ(j["ddns"]["password"], "ddns-secret");
  EXPECT_EQ(j["ddns"]["proxyPort"], "8080");

  r = Run("ddns-set", {"--ddns-user", "new user", "--proxy-port", "9090", "--json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(Json(r)["result"], 0);
  EXPECT_EQ(state_->Settings().ddns_user, "new user");
  EXPECT_EQ(state_->Settings().ddns_proxy_port, "9090");
  EXPECT_EQ(state_->Settings().ddns_pwd, "ddns-secret");
  j = Json(Run("ddns-get", {"--json"}, true, "wrong"));
  EXPECT_EQ(j["status"], 5);
}

TEST_F(R730Command, RestoreDefaults) {
  EXPECT_EQ(Run("restore-defaults", {}).exit_code, 0);
  EXPECT_EQ(state_->Settings().defaults_restored, 1);
  EXPECT_EQ(Run("restore-defaults", {}, true, "wrong").exit_code, 1);
}

TEST_F(R730Command, FactoryWithTheVersionFromTheSearch) {
  // 48.2.0.130 as the search reports it: the defaults are restored afterwards.
  TProcessResult r = Run("factory", {"--device-mac", "001A2B3C4D5E", "--wifi-mac", "A0B1C2D3E4F5"});
  ASSERT_EQ(r.exit_code, 0) << r.err << r.out;
  EXPECT_EQ(state_->Settings().factory_mac, "00:1a:2b:3c:4d:5e");
  EXPECT_EQ(state_->Settings().factory_wifimac, "a0:b1:c2:d3:e4:f5");
  EXPECT_EQ(state_->Settings().defaults_restored, 1);
  // An older version given on the command line: a reboot instead.
  r = Run("factory", {"--device-mac", "001A2B3C4D5F", "--firmware-version", "48.2.0.1"});
  ASSERT_EQ(r.exit_code, 0) << r.err << r.out;
  EXPECT_EQ(state_->Settings().reboots, 1);
  // A camera that the search cannot find gets nothing, and the user is told why.
  ASSERT_TRUE(camera_->WaitUntilUp(10000));
  const std::vector<std::string> elsewhere = {
      CAMLIFT_EXE, "r730",         "factory",      "--password",         kPassword, "--ip",
      Address(99), "--device-mac", "001A2B3C4D60", "--firmware-version", "48.2.0.1"};
  r = RunProcess(elsewhere, {{"CAMLIFT_TIME_SCALE", "0.01"},
                             {"LC_ALL", "C"},
                             {"XDG_CONFIG_HOME", temp_.path() + "config"}});
  EXPECT_EQ(r.exit_code, 1) << r.err << r.out;
  EXPECT_NE((r.out + r.err).find("no series R camera at " + Address(99) + " answered the search"),
            std::string::npos)
      << r.err << r.out;
  EXPECT_EQ(state_->Settings().reboots, 1);
  // With a new address on old firmware the settings datagram goes out: the camera is still
  // searched for, so it carries the camera's MAC and network settings, not zeros and blanks.
  r = Run("factory", {"--device-mac", "001A2B3C4D61", "--firmware-version", "48.2.0.1", "--new-ip",
                      Address(13)});
  ASSERT_EQ(r.exit_code, 0) << r.err << r.out;
  EXPECT_EQ(state_->Settings().netmask, "255.0.0.0");
  EXPECT_EQ(Run("factory", {"--firmware-version", "1"}).exit_code, 2);  // --device-mac missing
}

// The MAC options take the forms a user types (the colon form that --mac and the search show,
// dashes, 12 digits), and the camera gets each MAC as its pairs; anything else is a usage error
// before the camera is asked.
TEST_F(R730Command, FactoryMacAddressesAsTyped) {
  TProcessResult r = Run("factory", {"--device-mac", "00:1A:2B:3C:4D:5E", "--wifi-mac",
                                     "A0-B1-C2-D3-E4-F5", "--firmware-version", "48.2.0.1"});
  ASSERT_EQ(r.exit_code, 0) << r.err << r.out;
  EXPECT_EQ(state_->Settings().factory_mac, "00:1a:2b:3c:4d:5e");
  EXPECT_EQ(state_->Settings().factory_wifimac, "a0:b1:c2:d3:e4:f5");
  const std::vector<std::vector<std::string>> refused = {
      {"--device-mac", "00:1A:2B:3C:4D"},
      {"--device-mac", "00:1A:2B:3C:4D:5E:6F"},
      {"--device-mac", "001A2B3C4D5G"},
      {"--device-mac", "001A2B3C4D5E", "--wifi-mac", "A0:B1"},
  };
  for (std::vector<std::string> args : refused) {
    args.insert(args.end(), {"--firmware-version", "48.2.0.1"});
    r = Run("factory", args);
    EXPECT_EQ(r.exit_code, 2) << args[1] << r.err;
    EXPECT_NE(r.err.find("expected a MAC address"), std::string::npos) << r.err;
  }
  EXPECT_EQ(Run("check-login", {"--mac", "not-a-mac"}, false).exit_code, 2);
  EXPECT_EQ(state_->Settings().reboots, 1);
}

TEST_F(R730Command, SetNetworkByMac) {
  const std::string port = std::to_string(camera_->http_port());
  TProcessResult r = Run("set-network", {"--mac", Mac(), "--name", std::string(80, 'n')}, false);
  EXPECT_EQ(r.exit_code, 2) << r.err;
  r = Run("set-network", {"--mac", "02:00:00:00:00:99", "--new-ip", Address(12)}, false);
  EXPECT_EQ(r.exit_code, 1) << r.err;
  // A slip in what was typed is refused with the window's reason before anything goes out.
  const std::pair<std::vector<std::string>, const char*> slips[] = {
      {{"--netmask", "255.255.0.255"}, "The subnet mask is not valid."},
      {{"--gateway", "192.0.2.1"}, "The gateway is not on the subnet of the IP address and mask."},
      {{"--new-ip", "224.0.0.1"}, "The IP address is not one a camera can have."},
      // A value the options kept as the camera has it is named, with the option that changes it.
      {{"--new-ip", "192.0.2.10"},
       "The gateway is not on the subnet of the IP address and mask. (the camera's gateway "
       "\"127.0.0.1\" was kept: give --gateway (0.0.0.0 for none))"},
      // The camera would take its address from DHCP and the typed one would be lost.
      {{"--dhcp", "on", "--new-ip", "127.0.0.9"},
       "--new-ip, --netmask, --gateway, --dns1 and --dns2 do not go with --dhcp on"},
  };
  for (auto [args, said] : slips) {
    args.insert(args.begin(), {"--mac", Mac()});
    r = Run("set-network", args, false);
    EXPECT_EQ(r.exit_code, 2) << args[2] << " " << r.err;
    EXPECT_EQ(r.err, std::string("camlift r730: ") + said + "\n") << args[2];
  }
  r = Run("factory", {"--device-mac", "001A2B3C4D5E", "--netmask", "255.255.0.255"});
  EXPECT_EQ(r.exit_code, 2) << r.err;
  EXPECT_EQ(r.err, "camlift r730: The subnet mask is not valid.\n");
  EXPECT_TRUE(sim_->Events("network-settings").empty()) << "settings went out";

  // Typed with a leading zero, the address goes out without it: a camera may read "012" as 10.
  std::string typed = Address(12);
  typed.insert(typed.rfind('.') + 1, "0");
  r = Run("set-network", {"--mac", Mac(), "--new-ip", typed, "--dns2", "127.0.0.53", "--json"},
          false);
  ASSERT_EQ(r.exit_code, 0) << r.err << r.out;
  const nlohmann::json j = Json(r);
  EXPECT_EQ(j["settings"]["ip"], Address(12));
  EXPECT_EQ(j["settings"]["port"], camera_->http_port());
  // The camera restarts on its new address.
  bool moved = false;
  for (int i = 0; i < 100 && !moved; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    moved = RunProcess({CAMLIFT_EXE, "r730", "check-login", "--ip", Address(12), "--port", port,
                        "--password", kPassword})
                .exit_code == 0;
  }
  EXPECT_TRUE(moved);
  EXPECT_EQ(state_->Settings().dns2, "127.0.0.53");
}

// The fault switches of series R's configuration side, turned on by their names as scenario
// files and --fault give them, on a camera with the simulator's own extensions: each call fails
// with its message, or gets through what a client must ignore.
TEST(R730Faults, EveryFaultOfTheConfigurationSide) {
  THostPortLock port_lock{"udp-3565"};
  struct Row {
    const char* fault;
    const char* command;
    int exit_code;
    const char* said;  // on standard error for a failure, standard output for a success
  };
  const Row rows[] = {
      {"wifi-scan-refused", "wifi-scan", 1, "camlift r730: the Wi-Fi scan failed\n"},
      {"wifi-scan-result-drops", "wifi-scan", 1, "camlift r730: the Wi-Fi scan failed\n"},
      {"restore-defaults-refused", "restore-defaults", 1,
       "camlift r730: the camera did not confirm restoring its defaults\n"},
      {"network-settings-refused", "set-network", 1,
       "camlift r730: the camera refused the network settings (a wrong account is the usual "
       "cause)\n"},
      {"network-settings-silent", "set-network", 1,
       "camlift r730: the camera did not answer the network settings: it may have taken them "
       "and restarted without a word, or not have received them; search again (camlift search) "
       "to see where it is\n"},
      // The search reply and the stray datagram before the answer are passed over.
      {"network-settings-noise", "set-network", 0, "Network settings taken: "},
  };
  TTempFolder temp;
  int host = 30;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    const std::optional<sim::TCameraFault> fault = sim::ParseCameraFault(row.fault);
    ASSERT_TRUE(fault);
    sim::TCameraConfig c;
    c.series = sim::TSimSeries::R;
    c.ip = Address(++host);
    c.port = 0;
    c.upload_port = 0;
    c.password = kPassword;
    c.mac = Mac();
    c.faults = {*fault};
    sim::TSimCamera camera(c, std::make_shared<sim::TSimRecorder>(),
                           sim::BuiltInCameraExtensions());
    camera.Start();
    const TProcessResult r = RunProcess(
        {CAMLIFT_EXE, "r730", row.command, "--ip", c.ip, "--port",
         std::to_string(camera.http_port()), "--password", kPassword},
        {{"CAMLIFT_TIME_SCALE", "0.01"}, {"LC_ALL", "C"}, {"XDG_CONFIG_HOME", temp.path() + "c"}});
    EXPECT_EQ(row.exit_code, r.exit_code) << r.out << r.err;
    EXPECT_EQ(0u, (row.exit_code == 0 ? r.out : r.err).rfind(row.said, 0)) << r.out << r.err;
    camera.Stop();
  }
}

}  // namespace
}  // namespace camlift::test
