// SPDX-License-Identifier: Apache-2.0
// The account rule for cameras of a search (discovery/account_scope.h) and the entries of a check
// over a search (CamerasOfSearch): the account goes only to a row whose reply came from the very
// address it names, on a subnet of an adapter that is up, or to an address typed in.
#include "discovery/account_scope.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "discovery/dev_types.h"
#include "discovery/device_export.h"
#include "discovery/device_list.h"
#include "fleet/camera_list.h"
#include "fleet/status_read.h"

namespace camlift {
namespace {

TNetInterface Adapter(const char* name, const char* address, const char* netmask, bool up) {
  TNetInterface net;
  net.Name = name;
  ::inet_pton(AF_INET, address, &net.Address);
  ::inet_pton(AF_INET, netmask, &net.Netmask);
  net.Up = up;
  net.Loopback = std::string(name) == "lo";
  return net;
}

// lo, a LAN, a Wi-Fi that is down and a tunnel without a netmask.
const std::vector<TNetInterface> kAdapters = {
    Adapter("lo", "127.0.0.1", "255.0.0.0", true),
    Adapter("eth0", "192.168.1.10", "255.255.255.0", true),
    Adapter("wlan0", "10.0.0.5", "255.255.0.0", false),
    Adapter("tun0", "172.16.9.1", "0.0.0.0", true),
};

TDevInfo Row(std::int32_t type, const char* ip, const char* reply_from) {
  TDevInfo row;
  row.DevType = type;
  row.DevID = std::string("id-") + ip;
  row.IPAddr = ip;
  row.DevPort = 81;
  row.ReplyFrom = reply_from;
  return row;
}

TEST(AccountScope, WhereTheAccountMayGo) {
  struct Case {
    std::int32_t type;
    const char* ip;
    const char* reply_from;
    TAccountScope scope;
    const char* text;
  };
  const Case cases[] = {
      {kType1010, "192.168.1.20", "192.168.1.20", TAccountScope::Sent, ""},
      {kTypeMOI, "127.0.0.5", "127.0.0.5", TAccountScope::Sent, ""},  // loopback is ours
      {kType8600, "192.168.1.20", "192.168.1.66", TAccountScope::ReplyFromOther,
       "the search reply came from 192.168.1.66"},
      // A foreign address named by a host of the LAN.
      {kTypeText, "203.0.113.7", "192.168.1.66", TAccountScope::ReplyFromOther,
       "the search reply came from 192.168.1.66"},
      // The same address written another way is another text.
      {kType1010, "192.168.001.020", "192.168.1.20", TAccountScope::ReplyFromOther,
       "the search reply came from 192.168.1.20"},
      {kType1010, "", "192.168.1.20", TAccountScope::ReplyFromOther,
       "the search reply came from 192.168.1.20"},
      // Honest replies from beyond a router, from a network that is down, or through a tunnel
      // without a netmask (which would take in every address).
      {kType1010, "203.0.113.7", "203.0.113.7", TAccountScope::OffSubnet,
       "the address is on none of this computer's networks"},
      {kType1010, "10.0.3.3", "10.0.3.3", TAccountScope::OffSubnet,
       "the address is on none of this computer's networks"},
      {kType1010, "8.8.8.8", "8.8.8.8", TAccountScope::OffSubnet,
       "the address is on none of this computer's networks"},
      {kType1010, "192.168.2.20", "192.168.2.20", TAccountScope::OffSubnet,
       "the address is on none of this computer's networks"},
      // The closed library's search tells nothing of where its replies came from.
      {kTypeClosedLibrary, "192.168.1.20", "", TAccountScope::Unconfirmed,
       "no search reply came from the address"},
      // An address the user typed in goes as typed, a host name too.
      {kTypeManual, "cam.example", "", TAccountScope::Sent, ""},
      {kTypeManual, "203.0.113.7", "", TAccountScope::Sent, ""},
  };
  for (const Case& c : cases) {
    const TAccountVerdict verdict = AccountVerdictFor(Row(c.type, c.ip, c.reply_from), kAdapters);
    EXPECT_EQ(c.scope, verdict.scope) << c.ip << " from " << c.reply_from;
    EXPECT_EQ(c.text, AccountWithheldText(verdict)) << c.ip << " from " << c.reply_from;
  }
  EXPECT_EQ(TAccountScope::OffSubnet,
            AccountVerdictFor(Row(kType1010, "127.0.0.5", "127.0.0.5"), {}).scope);
}

// The list marks a reply that names another address than its sender's, in the address column
// and in the JSON of the search.
TEST(AccountScope, ReplyFromAnotherAddressIsMarked) {
  const TDevInfo forged = Row(kType1010, "192.168.1.20", "192.168.1.66");
  EXPECT_EQ("192.168.1.20 (reply from 192.168.1.66)", RowTexts(forged)[kColumnIP]);
  EXPECT_NE(std::string::npos, DeviceJsonLine(forged).find(",\"replyFrom\":\"192.168.1.66\"}"))
      << DeviceJsonLine(forged);
  const TDevInfo honest = Row(kType1010, "192.168.1.20", "192.168.1.20");
  EXPECT_EQ("192.168.1.20", RowTexts(honest)[kColumnIP]);
  EXPECT_EQ(std::string::npos, DeviceJsonLine(honest).find("replyFrom"));
  const TDevInfo typed = Row(kTypeManual, "cam.example", "");
  EXPECT_EQ("cam.example", RowTexts(typed)[kColumnIP]);
}

// A check over a search: the account where the rule lets it go, nothing elsewhere, and the
// state of such a camera says why whatever its reads found.
TEST(AccountScope, CheckEntriesCarryTheAccountOnlyWhereItMayGo) {
  const std::vector<TCameraEntry> cameras = CamerasOfSearch(
      {Row(kType1010, "192.168.1.20", "192.168.1.20"), Row(kType8600, "192.168.1.21", "127.0.0.9"),
       Row(kTypeManual, "192.168.9.9", "")},
      "admin", "secret", kAdapters);
  ASSERT_EQ(3u, cameras.size());
  EXPECT_EQ("admin", cameras[0].user);
  EXPECT_EQ("secret", cameras[0].password);
  EXPECT_EQ("", cameras[0].account_withheld);
  EXPECT_EQ("", cameras[1].user);
  EXPECT_EQ("", cameras[1].password);
  EXPECT_EQ("the search reply came from 127.0.0.9", cameras[1].account_withheld);
  EXPECT_EQ(TSeries::R, cameras[1].series);
  EXPECT_EQ("secret", cameras[2].password);

  // Read without the account, whatever the entry holds; a camera of no known series is asked
  // nothing and says so.
  TCameraEntry odd = cameras[1];
  odd.ip = "camera.local";  // not read at all: no address of a file name, no request
  EXPECT_EQ(TCameraState::AccountNotSent, ReadCameraStatus(odd, {}).state);
  odd.ip = "192.168.1.21";
  odd.series = TSeries::None;
  EXPECT_EQ(TCameraState::UnknownSeries, ReadCameraStatus(odd, {}).state);

  TCameraStatus status;
  status.camera = cameras[1];
  status.camera.port = 81;
  status.current = "1.2.3.4";
  status.state = TCameraState::AccountNotSent;
  EXPECT_EQ("account not sent: the search reply came from 127.0.0.9", StatusStateText(status));
  EXPECT_EQ(
      "{\"ip\":\"192.168.1.21\",\"port\":81,\"series\":\"R\",\"model\":\"\",\"current\":"
      "\"1.2.3.4\",\"catalogue\":\"\",\"state\":\"account not sent\",\"accountNotSent\":\"the "
      "search reply came from 127.0.0.9\"}\n",
      StatusJsonLines({status}));
}

}  // namespace
}  // namespace camlift
