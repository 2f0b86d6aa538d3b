// SPDX-License-Identifier: Apache-2.0
// New network settings for a series R camera of the list: the fields a row starts with, the
// settings made of what was typed and why they may not go, and the change on its worker against
// a simulated camera (taken, not taken, refused before anything goes out, busy, stopped).
#include "r730/network_change.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "discovery/dev_types.h"
#include "i18n/str_res.h"
#include "i18n/str_resource.h"
#include "platform/dispatcher.h"
#include "r730/r730_series.h"
#include "support/r730_test_camera.h"

namespace camlift {
namespace {

constexpr const char* kUser = "admin";
constexpr const char* kPassword = "531642";

const auto& Address = test::ProcessLoopbackAddress;

TDevInfo Row() {
  TDevInfo d;
  d.DevType = kType8600;
  d.DevID = "00:1A:2B:3C:4D:5E";
  d.NormID = "001A2B3C4D5E";
  d.DevName = "porch";
  d.IPAddr = "192.168.1.50";
  d.Netmask = "255.255.255.0";
  d.Gateway = "192.168.1.1";
  d.DNS1 = "8.8.8.8";
  d.DevPort = 81;
  return d;
}

TEST(NetworkChangeInput, FieldsStartWithTheRowAndTheTypedTextsMakeTheSettings) {
  TDevInfo row = Row();
  row.DNS2 = "1.1.1.1\x1b[2J";  // a camera's text is shown cleaned
  row.DhcpFlag = 1;
  const TNetworkFields fields = NetworkFieldsOf(row);
  EXPECT_EQ(fields.ip, "192.168.1.50");
  EXPECT_EQ(fields.netmask, "255.255.255.0");
  EXPECT_EQ(fields.gateway, "192.168.1.1");
  EXPECT_EQ(fields.dns1, "8.8.8.8");
  EXPECT_EQ(fields.dns2, "1.1.1.1 [2J");
  EXPECT_EQ(fields.port, "81");
  EXPECT_TRUE(fields.dhcp);

  struct Case {
    const char* port;
    int expected;
  };
  const Case ports[] = {{"81", 81},   {" 8080 ", 8080}, {"65535", 65535},  {"0", 0},
                        {"65536", 0}, {"8o", 0},        {"", 0},           {"-1", 0},
                        {"+81", 0},   {"0x50", 0},      {"99999999999", 0}};
  for (const Case& c : ports) {
    TNetworkFields typed = fields;
    typed.port = c.port;
    EXPECT_EQ(WantedNetwork(row, typed).DevPort, c.expected) << c.port;
  }
  TNetworkFields typed = fields;
  typed.ip = " 10.0.0.7\t";
  typed.gateway = "";
  typed.dhcp = false;
  const TDevInfo wanted = WantedNetwork(row, typed);
  EXPECT_EQ(wanted.IPAddr, "10.0.0.7");
  EXPECT_EQ(wanted.Gateway, "");
  EXPECT_EQ(wanted.DhcpFlag, 2);
  // The camera's identity and name go with the settings unchanged.
  EXPECT_EQ(wanted.NormID, "001A2B3C4D5E");
  EXPECT_EQ(wanted.DevName, "porch");

  // Leading zeros go out as the number the check read, never as a text a camera might read as
  // octal ("010" is 8 there).
  typed.ip = "010.001.002.010";
  typed.netmask = "255.255.255.000";
  typed.gateway = "010.1.2.01";
  EXPECT_EQ(WantedNetwork(row, typed).IPAddr, "10.1.2.10");
  EXPECT_EQ(WantedNetwork(row, typed).Netmask, "255.255.255.0");
  EXPECT_EQ(WantedNetwork(row, typed).Gateway, "10.1.2.1");
  // With DHCP the greyed fields are the camera's own, whatever they hold.
  typed.ip = "192.168.1.";
  typed.dhcp = true;
  EXPECT_EQ(WantedNetwork(row, typed).IPAddr, "192.168.1.50");
  EXPECT_EQ(NetworkChangeProblem(WantedNetwork(row, typed), "admin", ""), "");
}

TEST(NetworkChangeInput, OnlyACameraOfThe8600SearchWithItsMacCanBeChanged) {
  struct Case {
    std::int32_t type;
    const char* norm_id;
    bool can;
  };
  const Case cases[] = {
      {kType8600, "001A2B3C4D5E", true},    {kType8600, "", false},
      {kType8600, "001A2B3C4D", false},     {kType8600, "001A2B3C4D5G", false},
      {kType1010, "001a2b3c4d5e", false},   {kTypeMOI, "001A2B3C4D5E", false},
      {kTypeManual, "001A2B3C4D5E", false},
  };
  for (const Case& c : cases) {
    TDevInfo row = Row();
    row.DevType = c.type;
    row.NormID = c.norm_id;
    EXPECT_EQ(CanChangeNetwork(row), c.can) << c.type << " " << c.norm_id;
  }
}

TEST(NetworkChangeInput, TheFirstReasonNotToSendIsNamed) {
  struct Case {
    const char* what;
    void (*change)(TDevInfo&, std::string& user, std::string& password);
    const char* key;
  };
  const Case cases[] = {
      {"as listed", [](TDevInfo&, std::string&, std::string&) {}, ""},
      {"longest account",
       [](TDevInfo&, std::string& u, std::string& p) {
         u = std::string(31, 'u');
         p = std::string(32, 'p');
       },
       ""},
      {"address", [](TDevInfo& d, std::string&, std::string&) { d.IPAddr = "192.168.1.256"; },
       "IDS_NETBADADDRESS"},
      {"gateway elsewhere", [](TDevInfo& d, std::string&, std::string&) { d.Gateway = "10.0.0.1"; },
       "IDS_NETGATEWAYOUTSIDE"},
      {"port", [](TDevInfo& d, std::string&, std::string&) { d.DevPort = 0; }, "IDS_NETBADPORT"},
      {"no MAC", [](TDevInfo& d, std::string&, std::string&) { d.NormID = ""; }, "IDS_NETNOMAC"},
      {"name fills its field",
       [](TDevInfo& d, std::string&, std::string&) { d.DevName = std::string(80, 'n'); },
       "IDS_NETNAMETOOLONG"},
      {"user", [](TDevInfo&, std::string& u, std::string&) { u = std::string(32, 'u'); },
       "IDS_NETACCOUNTTOOLONG"},
      {"password", [](TDevInfo&, std::string&, std::string& p) { p = std::string(33, 'p'); },
       "IDS_NETACCOUNTTOOLONG"},
      // The fields come first: what the user typed is said before what the camera reported.
      {"address and name",
       [](TDevInfo& d, std::string&, std::string&) {
         d.IPAddr = "x";
         d.DevName = std::string(80, 'n');
       },
       "IDS_NETBADADDRESS"},
  };
  for (const Case& c : cases) {
    TDevInfo wanted = Row();
    std::string user = kUser;
    std::string password = kPassword;
    c.change(wanted, user, password);
    EXPECT_EQ(NetworkChangeProblem(wanted, user, password), c.key) << c.what;
  }
}

TEST(NetworkChangeInput, TheNewAddressInWords) {
  TfrmStrRes language;
  SetLanguage("en");
  TDevInfo wanted = Row();
  EXPECT_EQ(NetworkAddressText(wanted), "192.168.1.50:81");
  wanted.DhcpFlag = 1;
  EXPECT_EQ(NetworkAddressText(wanted), "an address from DHCP, port 81");
  EXPECT_EQ(GetLangStr("IDS_NETTAKEN"),
            "Camera %1 took the network settings: %2. It restarts there; the camera list shows it "
            "at its new address once it answers.");
}

class NetworkChange : public ::testing::Test {
 protected:
  void SetUp() override {
    // The settings datagram carries the account: it never leaves loopback, with or without ctest.
    ::setenv("CAMLIFT_BROADCAST_ADDR", "127.255.255.255", 1);
    sim_.Start();
    camera_ = &sim_.Camera();
  }

  void TearDown() override {
    change_.reset();
    sim_.Stop();
  }

  std::string Mac() const { return sim_.Mac(); }

  // The camera as the list has it.
  TDevInfo Listed() const {
    TDevInfo d;
    d.DevType = kType8600;
    d.DevID = Mac();
    d.NormID = NormalizeID(d.DevID);
    d.IPAddr = camera_->config().ip;
    d.ReplyFrom = camera_->config().ip;  // its search reply came from there
    d.DevPort = static_cast<std::uint16_t>(camera_->http_port());
    d.Netmask = "255.0.0.0";
    d.Gateway = "127.0.0.1";
    d.DNS1 = "127.0.0.1";
    d.DevName = "Camlift simulated camera";
    return d;
  }

  std::vector<nlohmann::json> Datagrams() const { return sim_.Events("network-settings"); }

  void Silent() {
    sim::TR730SimBehaviour silent;
    silent.faults = {sim::TCameraFault::NetworkSettingsSilent};
    sim_.State().SetBehaviour(silent);
  }

  // Starts a change whose answers land in answers_.
  std::string Start(const TDevInfo& wanted, const std::string& password = kPassword) {
    return change_->Start(Listed(), wanted, kUser, password,
                          [this](TSettingsOutcome outcome) { answers_.push_back(outcome); });
  }

  test::TR730TestCamera sim_{test::R730TestCameraWith(kPassword, 0x31)};
  sim::TSimCamera* camera_ = nullptr;
  TLoopDispatcher ui_;
  TR730Series client_;
  std::unique_ptr<TNetworkChange> change_ = std::make_unique<TNetworkChange>(ui_, client_);
  std::vector<TSettingsOutcome> answers_;
};

TEST_F(NetworkChange, TakenSettingsMoveTheCameraAndTheAnswerComesOnTheUiThread) {
  TDevInfo wanted = Listed();
  wanted.IPAddr = Address(7);
  const std::thread::id ui_thread = std::this_thread::get_id();
  std::thread::id answered_on;
  ASSERT_EQ(change_->Start(Listed(), wanted, kUser, kPassword,
                           [&](TSettingsOutcome outcome) {
                             answered_on = std::this_thread::get_id();
                             answers_.push_back(outcome);
                           }),
            "");
  change_->WaitDone();
  EXPECT_FALSE(change_->Running());
  EXPECT_EQ(answers_, std::vector<TSettingsOutcome>{TSettingsOutcome::Taken});
  EXPECT_EQ(answered_on, ui_thread);
  const std::vector<nlohmann::json> sent = Datagrams();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0]["ip"], Address(7));
  EXPECT_TRUE(sent[0]["taken"].get<bool>());
  EXPECT_TRUE(camera_->WaitUntilUp(20000));
  EXPECT_EQ(camera_->config().ip, Address(7));
}

TEST_F(NetworkChange, RefusedSettingsSendNothing) {
  TDevInfo wanted = Listed();
  wanted.Gateway = "10.0.0.1";
  EXPECT_EQ(Start(wanted), "IDS_NETGATEWAYOUTSIDE");
  wanted = Listed();
  wanted.NormID = "";
  EXPECT_EQ(Start(wanted), "IDS_NETNOMAC");
  EXPECT_FALSE(change_->Running());
  change_->WaitDone();
  EXPECT_TRUE(answers_.empty());
  EXPECT_TRUE(Datagrams().empty());
}

TEST_F(NetworkChange, ARefusalIsToldApartFromSilence) {
  EXPECT_EQ(Start(Listed(), "wrong"), "");
  change_->WaitDone();
  Silent();
  EXPECT_EQ(Start(Listed()), "");
  // One change at a time: the second finds the first still waiting for its answer.
  EXPECT_EQ(Start(Listed()), "IDS_NETBUSY");
  change_->WaitDone();
  EXPECT_EQ(answers_,
            (std::vector<TSettingsOutcome>{TSettingsOutcome::Refused, TSettingsOutcome::NoAnswer}));
  EXPECT_EQ(Datagrams().size(), 2u);
  EXPECT_EQ(camera_->config().ip, Address(1));
}

// The window goes while the camera has not answered: the wait ends, nobody is told.
TEST_F(NetworkChange, StopEndsTheWaitAndDropsTheAnswer) {
  Silent();
  ASSERT_EQ(Start(Listed()), "");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (Datagrams().empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(Datagrams().size(), 1u);
  change_->Stop();
  EXPECT_FALSE(change_->Running());
  ui_.ProcessPending();
  EXPECT_TRUE(answers_.empty());
  change_.reset();  // a second Stop in the destructor finds nothing to do
  EXPECT_TRUE(answers_.empty());
}

// Each outcome has its own line in the log, and the one of silence says where the settings reach.
TEST(NetworkChangeInput, EachOutcomeInWords) {
  TfrmStrRes language;
  SetLanguage("en");
  const std::pair<TSettingsOutcome, const char*> cases[] = {
      {TSettingsOutcome::Taken,
       "Camera M took the network settings: W. It restarts there; the camera list shows it at its "
       "new address once it answers."},
      {TSettingsOutcome::Refused,
       "Camera M refused the network settings W: a wrong account is the usual cause."},
      {TSettingsOutcome::NoAnswer,
       "Camera M did not answer the network settings W. It may have taken them and restarted "
       "without a word, or not have received them (they reach only the network segment of this "
       "computer's default route): search again to see where it is."},
      {TSettingsOutcome::NotSent,
       "The network settings were not sent to camera M: This computer could not send the "
       "settings datagram."},
  };
  for (const auto& [outcome, text] : cases) {
    EXPECT_EQ(NetworkOutcomeText(outcome, "M", "W"), text) << static_cast<int>(outcome);
  }
}

}  // namespace
}  // namespace camlift
