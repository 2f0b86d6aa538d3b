// SPDX-License-Identifier: Apache-2.0
// The pure parts of the series R configuration calls: the settings datagram byte for byte, the
// page reader, the MAC form of the factory page, the scan result and the DDNS status rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "discovery/dev_types.h"
#include "r730/r730_pages.h"
#include "r730/r730_settings.h"

namespace camlift {
namespace {

TDevInfo Wanted() {
  TDevInfo d;
  d.IPAddr = "192.168.1.77";
  d.Netmask = "255.255.255.0";
  d.Gateway = "192.168.1.1";
  d.DNS1 = "8.8.8.8";
  d.DNS2 = "8.8.4.4";
  d.NormID = "001A2B3C4D5E";
  d.DevPort = 0x1F90;  // 8080
  d.DevName = "Front door";
  d.Version = "48.2.0.130";
  d.DhcpFlag = 2;
  return d;
}

std::string TextAt(const TBytes& bytes, std::size_t offset, std::size_t width) {
  std::string out;
  for (std::size_t i = offset; i < offset + width && bytes[i] != 0; ++i) {
    out += static_cast<char>(bytes[i]);
  }
  return out;
}

TEST(R730SettingsDatagram, EveryByteIsWhereTheCameraReadsIt) {
  const T8600SettingsResult r = Build8600Settings(Wanted(), "admin", "pa ss");
  ASSERT_TRUE(r.error.empty()) << r.error;
  const TBytes& b = r.bytes;
  ASSERT_EQ(b.size(), 324u);
  TBytes expected(324, 0);
  const auto put = [&](std::size_t at, const std::string& text) {
    std::copy(text.begin(), text.end(), expected.begin() + static_cast<std::ptrdiff_t>(at));
  };
  expected[0] = 0x44, expected[1] = 0x48, expected[2] = 0x02, expected[3] = 0x01;
  put(4, "192.168.1.77");
  put(20, "255.255.255.0");
  put(36, "192.168.1.1");
  put(52, "8.8.8.8");
  put(68, "8.8.4.4");
  const std::uint8_t mac[] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  std::copy(std::begin(mac), std::end(mac), expected.begin() + 84);
  expected[90] = 0x90, expected[91] = 0x1F;
  put(124, "Front door");
  put(204, "48.2.0.130");
  put(236, "admin");
  put(268, "pa ss");
  expected[301] = 0;  // DHCP off
  EXPECT_EQ(b, expected);

  TDevInfo dhcp = Wanted();
  dhcp.DhcpFlag = 1;
  EXPECT_EQ(Build8600Settings(dhcp, "admin", "").bytes[301], 1);
}

TEST(R730SettingsDatagram, TextsThatDoNotFitTheirFieldAreRefused) {
  struct Case {
    const char* what;
    std::size_t width;  // the longest text that fits is width - 1
    void (*set)(TDevInfo&, std::string&, std::string&, const std::string&);
  };
  const Case cases[] = {
      {"IP address", 16,
       [](TDevInfo& d, std::string&, std::string&, const std::string& t) { d.IPAddr = t; }},
      {"secondary DNS", 16,
       [](TDevInfo& d, std::string&, std::string&, const std::string& t) { d.DNS2 = t; }},
      {"name", 80,
       [](TDevInfo& d, std::string&, std::string&, const std::string& t) { d.DevName = t; }},
      {"version", 32,
       [](TDevInfo& d, std::string&, std::string&, const std::string& t) { d.Version = t; }},
      {"user", 32, [](TDevInfo&, std::string& u, std::string&, const std::string& t) { u = t; }},
      {"password", 33,
       [](TDevInfo&, std::string&, std::string& p, const std::string& t) { p = t; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::size_t length : {c.width - 1, c.width}) {
      TDevInfo d = Wanted();
      std::string user = "admin", password = "x";
      c.set(d, user, password, std::string(length, 'a'));
      const T8600SettingsResult r = Build8600Settings(d, user, password);
      if (length < c.width) {
        ASSERT_EQ(r.bytes.size(), 324u) << r.error;
      } else {
        EXPECT_TRUE(r.bytes.empty());
        EXPECT_NE(r.error.find(c.what), std::string::npos) << r.error;
      }
    }
  }
  // The longest password ends right before the DHCP byte and keeps its zero inside the field.
  const TBytes b = Build8600Settings(Wanted(), "admin", std::string(32, 'p')).bytes;
  EXPECT_EQ(TextAt(b, 268, 33), std::string(32, 'p'));
  EXPECT_EQ(b[300], 0);
}

TEST(R730SettingsDatagram, MacBytesStopAtTheFirstPairThatIsNotHex) {
  using M = std::array<std::uint8_t, 6>;
  EXPECT_EQ(MacBytesFromHex("001a2B3C4D5E"), (M{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
  EXPECT_EQ(MacBytesFromHex("0011ZZ334455"), (M{0x00, 0x11, 0, 0, 0, 0}));
  EXPECT_EQ(MacBytesFromHex("00112"), (M{0x00, 0x11, 0, 0, 0, 0}));
  EXPECT_EQ(MacBytesFromHex(""), M{});
}

TEST(R730SettingsDatagram, OnlyASettingsReplyEndsTheWait) {
  TBytes reply(328, 0);
  reply[0] = 0x44, reply[1] = 0x48, reply[2] = 0x02, reply[3] = 0x08;
  bool taken = true;
  ASSERT_TRUE(Parse8600SettingsReply(reply, taken));
  EXPECT_FALSE(taken);
  reply[325] = 0x80;
  ASSERT_TRUE(Parse8600SettingsReply(reply, taken));
  EXPECT_TRUE(taken);
  // Cut short: the value reads as zero past the end.
  ASSERT_TRUE(Parse8600SettingsReply(std::span(reply.data(), 300), taken));
  EXPECT_FALSE(taken);
  TBytes search_reply = reply;
  search_reply[2] = 0x01;
  EXPECT_FALSE(Parse8600SettingsReply(search_reply, taken));
  EXPECT_FALSE(Parse8600SettingsReply(Build8600Settings(Wanted(), "a", "b").bytes, taken));
  EXPECT_FALSE(Parse8600SettingsReply({}, taken));
}

// A reply that names another camera by its MAC is somebody else's answer (or a forgery); a reply
// with no MAC there is the camera's own, as cameras that leave the field empty send it.
TEST(R730SettingsDatagram, AReplyNamingAnotherCameraIsNotOurs) {
  TBytes reply(328, 0);
  reply[0] = 0x44, reply[1] = 0x48, reply[2] = 0x02, reply[3] = 0x08;
  EXPECT_TRUE(SettingsReplyIsFor(reply, "001A2B3C4D5E"));  // no MAC
  const std::uint8_t ours[] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  std::copy(std::begin(ours), std::end(ours), reply.begin() + 84);
  EXPECT_TRUE(SettingsReplyIsFor(reply, "001A2B3C4D5E"));
  EXPECT_TRUE(SettingsReplyIsFor(reply, "001a2b3c4d5e"));
  EXPECT_FALSE(SettingsReplyIsFor(reply, "001A2B3C4D5F"));
  reply[89] = 0x5F;
  EXPECT_FALSE(SettingsReplyIsFor(reply, "001A2B3C4D5E"));
  EXPECT_TRUE(SettingsReplyIsFor(std::span(reply.data(), 89), "001A2B3C4D5E"));  // too short
}

TEST(R730Pages, ReadParamTakesTheWholeKeyUpToTheSemicolon) {
  const std::string page =
      "var wifi_key1_bits=64;\r\nvar wifi_key1='k''ey\"1';\r\nvar wifi_enable=1;\r\n"
      "var wifi_ssid=;\r\nvar tail=open";
  std::string value = "before";
  ReadParam(page, "var missing", value);
  EXPECT_EQ(value, "before");
  ReadParam(page, "var tail", value);  // no ";" after it
  EXPECT_EQ(value, "before");
  ReadParam(page, "var wifi_key1", value);
  EXPECT_EQ(value, "key1");
  ReadParam(page, "var wifi_ssid", value);
  EXPECT_EQ(value, "");
  EXPECT_EQ(ReadParamInt(page, "var wifi_key1_bits"), 64);
  EXPECT_EQ(ReadParamInt(page, "var wifi_enable"), 1);
  EXPECT_EQ(ReadParamInt(page, "var wifi_key1"), 0);
  // Case matters.
  value.clear();
  ReadParam(page, "var WIFI_ENABLE", value);
  EXPECT_EQ(value, "");
}

TEST(R730Pages, SysVerOfTheStatusPage) {
  const std::pair<const char*, const char*> cases[] = {
      {"var sys_ver=\"84.2.0.130\";\r\nvar app_ver=\"1\";", "84.2.0.130"},
      {"var sys_ver_x=\"1.1\"; var sys_ver=\"2.2\";", "2.2"},  // the whole key only
      {"var sys_ver='84.2.0.130'; x=\"y\"", ""},               // no double quote after =
      {"var sys_ver=\"84.2.0.130", "84.2.0.130"},              // a page cut off
      {"", ""},
  };
  for (const auto& [page, version] : cases) EXPECT_EQ(version, StatusPageSysVer(page)) << page;
}

TEST(R730Pages, MacPairsLowerCaseAndJoinedByColons) {
  EXPECT_EQ(MacPairs("001A2B3C4D5E"), "00:1a:2b:3c:4d:5e");
  EXPECT_EQ(MacPairs(" 001A2B3C4D5E7 "), "00:1a:2b:3c:4d:5e");  // odd last character dropped
  EXPECT_EQ(MacPairs("A"), "");
  EXPECT_EQ(MacPairs(""), "");
}

// The MAC options of "camlift r730": the forms a user types, and only those.
TEST(R730Pages, MacAddressesAsTyped) {
  struct Case {
    const char* text;
    std::optional<std::string> digits;
  };
  const Case cases[] = {
      {"001A2B3C4D5E", "001a2b3c4d5e"},
      {"00:1A:2B:3C:4D:5E", "001a2b3c4d5e"},
      {"00-1a-2b-3c-4d-5e", "001a2b3c4d5e"},
      {"00:1A-2B:3C:4D:5E", std::nullopt},  // two kinds of separator
      {"00:1A:2B:3C:4D", std::nullopt},
      {"00:1A:2B:3C:4D:5E:6F", std::nullopt},
      {"001A2B3C4D5", std::nullopt},
      {"0:01A:2B:3C:4D:5E", std::nullopt},
      {"00::1A2B:3C:4D:5E", std::nullopt},
      {"00:1A:2B:3C:4D:5E:", std::nullopt},
      {":00:1A:2B:3C:4D:5E", std::nullopt},
      {"00:1A:2B:3C:4D:5G", std::nullopt},
      {"001A.2B3C.4D5E", std::nullopt},
      {"", std::nullopt},
      {"00 1A 2B 3C 4D 5E", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(c.digits, MacDigits(c.text)) << c.text;
}

TEST(R730Pages, DdnsStatusFollowsTheFieldsThePageHolds) {
  struct Case {
    const char* page;
    std::int32_t status;
  };
  const Case cases[] = {
      {"var ddns_service=11;var ddns_proxy_svr=\"p.example\";var ddns_proxy_port=80;"
       "var ddns_user=\"u\";var ddns_pwd=\"w\";",
       0},
      {"var ddns_service=;var ddns_user=\"u\";", 1},
      {"var x=1;", 1},
      {"var ddns_service=3;var ddns_proxy_svr=\"p\";var ddns_proxy_port=80;var ddns_user=\"u\";",
       2},
      {"var ddns_service=11;var ddns_proxy_svr=\"p\";var ddns_proxy_port=0;var ddns_user=\"u\";",
       3},
      {"var ddns_service=11;var ddns_proxy_svr=;var ddns_proxy_port=80;var ddns_user=\"u\";", 3},
      {"var ddns_service=11;var ddns_proxy_svr=\"p\";var ddns_user=\"u\";", 3},
      {"var ddns_service=11;var ddns_proxy_svr=\"p\";var ddns_proxy_port=80;var ddns_user=;", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    TDdnsParams p;
    ParseDdnsParams(c.page, p);
    EXPECT_EQ(p.Status, c.status);
  }
  // Without a service the other fields keep what they held; with one, missing keys clear them.
  TDdnsParams p;
  p.User = "kept";
  ParseDdnsParams("var ddns_service=;", p);
  EXPECT_EQ(p.User, "kept");
  ParseDdnsParams("var ddns_service=11;", p);
  EXPECT_EQ(p.User, "");
  EXPECT_EQ(p.Service, "11");
}

TEST(R730Pages, ScanResultGivesOneEntryPerAccessPoint) {
  const std::string page =
      "var ap_number=2;\r\nvar ap_other[1]=\"before the list\";\r\n"
      "var ap_ssid[0]=\"first\";\r\nvar ap_mac[0]=\"00:0A:0B:0C:0D:01\";\r\n"
      "var ap_ssid[1]=\" second \";\r\nvar ap_dbm0[1]=' -70 ';\r\nvar ap_dbm1[1]=' -71';\r\n"
      "var ap_security[0]=4;\r\nvar ap_dbm0[0]='-40';\r\nvar ap_mode[0]=1;\r\n"
      "var ap_ssid[7]=\"out of range\";\r\n\r\n";
  std::vector<TWiFiEntry> list;
  ASSERT_EQ(ParseWifiScanResult(page, list), 2);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].Text, "first(-40)");
  EXPECT_EQ(list[0].Record.Mac, "00:0A:0B:0C:0D:01");
  EXPECT_EQ(list[0].Record.Security, 4);
  EXPECT_EQ(list[0].Record.Mode, 1);
  EXPECT_EQ(list[1].Text, "second(-70)");
  EXPECT_EQ(list[1].Record.Dbm1, " -71");  // only SSID and Dbm0 are trimmed
}

TEST(R730Pages, ScanResultEdgeCases) {
  struct Case {
    const char* page;
    std::int32_t result;
  };
  const Case cases[] = {
      {"var ap_number=0;\r\n", 0},
      {"var ap_number=x;\r\nvar ap_ssid[0]=\"a\";", 0},
      {"var ap_number=1\r\n", 0},                             // no ";" after the count
      {"var ap_number=1;\r\nvar ap_ssid[x]=\"a\";\r\n", -1},  // index not a number
      {"var ap_number=1;\r\nvar ap_ssid[0]=\"a\";\r\n</script>\r\n", -1},
      {"var ap_number=-3;\r\nvar ap_ssid[0]=\"a\";\r\n", -1},
      {"var ap_number=2000000000;\r\nvar ap_ssid[0]=\"a\";\r\n", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    std::vector<TWiFiEntry> list(1);
    EXPECT_EQ(ParseWifiScanResult(c.page, list), c.result);
    EXPECT_TRUE(list.empty());
  }
}

}  // namespace
}  // namespace camlift
