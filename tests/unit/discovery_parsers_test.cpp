// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "discovery/dev_types.h"
#include "discovery/reply_intake.h"
#include "discovery/reply_parsers.h"
#include "discovery/tools_net.h"
#include "util/byte_reader.h"
#include "util/text_fields.h"

namespace camlift {
namespace {

// A datagram built by hand, field by field.
struct Datagram {
  TBytes bytes;
  explicit Datagram(std::size_t size) : bytes(size, 0) {}
  Datagram& Text(std::size_t offset, const std::string& text) {
    std::memcpy(bytes.data() + offset, text.data(), text.size());
    return *this;
  }
  Datagram& Bytes(std::size_t offset, std::initializer_list<int> values) {
    for (int v : values) bytes[offset++] = static_cast<std::uint8_t>(v);
    return *this;
  }
  Datagram& U16(std::size_t offset, int value) {
    return Bytes(offset, {value & 0xFF, (value >> 8) & 0xFF});
  }
  TDatagram span() const { return bytes; }
};

struct Sent : IDatagramSender {
  std::vector<std::pair<std::uint16_t, TBytes>> datagrams;
  bool Broadcast(std::uint16_t port, std::span<const std::uint8_t> bytes) override {
    datagrams.emplace_back(port, TBytes(bytes.begin(), bytes.end()));
    return true;
  }
};

// ---- helpers ------------------------------------------------------------------------------------

TEST(DiscoveryHelpers, TypeTable) {
  const struct {
    int type;
    const char* caption;
    int series;
  } cases[] = {{0, "K", -1},     {1, "S", -1}, {2, "M", 1},   {3, "M1", -1}, {4, "P", -1},
               {5, "K", 0},      {6, "L", -1}, {7, "M2", -1}, {8, "P", 2},   {9, "R", 3},
               {999, "DSK", -1}, {10, "", -1}, {-1, "", -1}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.caption, DevTypeCaption(c.type)) << c.type;
    EXPECT_EQ(c.series, TypeToSeries(c.type)) << c.type;
  }
}

TEST(DiscoveryHelpers, IdentityTexts) {
  EXPECT_EQ("001A2B3C4D5E", NormalizeID("00:1a:2b:3c:4d:5e"));
  EXPECT_EQ("001A2B3C4D5E", NormalizeID("001A2B3C4D5E"));
  EXPECT_EQ("0AB0C", NormalizeID(" a-b c"));
  const std::uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0xFC, 0x4D, 0x5E};
  EXPECT_EQ("001a2bfc4d5e", MacToHex(std::span<const std::uint8_t, 6>(mac)));
  EXPECT_EQ("00:1A:2B:FC:4D:5E", MacToColonHex(std::span<const std::uint8_t, 6>(mac)));
  EXPECT_EQ(
      "K\xC3\xBC"
      "che",
      ToValidUtf8("K\xC3\xBC"
                  "che"));
  EXPECT_EQ(
      "K\xEF\xBF\xBD"
      "che",
      ToValidUtf8("K\xFC"
                  "che"));                                             // a Latin-1 byte
  EXPECT_EQ("ab\xEF\xBF\xBD\xEF\xBF\xBD", ToValidUtf8("ab\xE4\xB8"));  // cut sequence
  EXPECT_EQ("\xEF\xBF\xBD\xEF\xBF\xBD", ToValidUtf8("\xC0\xAF"));      // overlong
}

TEST(DiscoveryHelpers, CompareDotted) {
  const struct {
    const char* a;
    const char* b;
    int expected;
  } cases[] = {{"10.0.0.2", "10.0.0.10", -1},
               {"192.168.1.10", "192.168.1.9", 1},
               {"1.2.3.4", "1.2.3.4", 0},
               {"a.b", "a", 1},
               {"A.B", "a.b", 0},
               {"x.1", "0.1", 0},  // not a number counts as 0
               {"B.x", "a", 1},
               {"b", "a", 0},  // one piece each: numbers
               {"", "", 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, TTools_Net::CompareDotted(c.a, c.b)) << c.a << " vs " << c.b;
  }
  const std::uint8_t ip[4] = {192, 168, 0, 7};
  EXPECT_EQ("192.168.0.7", TTools_Net::IPToStr(std::span<const std::uint8_t, 4>(ip)));
}

TEST(DiscoveryHelpers, ReaderReadsZeroPastTheEnd) {
  const std::uint8_t bytes[] = {0x34, 0x12, 'a', 'b', 'c'};
  const TByteReader reader(bytes);
  EXPECT_EQ(0x1234, reader.U16LE(0));
  EXPECT_EQ(0x3412, reader.U16BE(0));
  EXPECT_EQ(0x0063, reader.U16LE(4));
  EXPECT_EQ(0u, reader.U32LE(100));
  EXPECT_EQ("abc", reader.Text(2, 10));
  EXPECT_EQ("ab", reader.Text(2, 2));
  EXPECT_EQ("", reader.Text(5, 10));
  EXPECT_EQ("", reader.Text(SIZE_MAX - 1, SIZE_MAX));
  const TByteReader cut(bytes, 3);
  EXPECT_EQ("a", cut.TextToEnd(2));
  EXPECT_EQ(0, cut.U8(3));
}

// ---- MO_I -------------------------------------------------------------------------------------

Datagram MoiReply(int body_length) {
  Datagram d(23 + 195);
  d.Text(0, "MO_I").U16(4, 1).U16(15, body_length);
  d.Text(23, "CAM-0001").Text(36, "Lobby \xE2\x82\xAC");
  d.Bytes(57, {192, 168, 1, 20}).Bytes(61, {255, 255, 255, 0}).Bytes(65, {192, 168, 1, 1});
  d.Bytes(69, {8, 8, 4, 4}).Bytes(73, {9, 9, 9, 9});
  d.Bytes(77, {1, 2, 3, 4}).Bytes(81, {5, 6, 7, 8}).Bytes(85, {0x00, 0x51}).Bytes(87, {1});
  d.Text(88, "cam.example.net").Text(153, "ddnsuser");
  return d;
}

TEST(DiscoveryParsers, MoiLongBodyEveryField) {
  TDevInfo r;
  ASSERT_TRUE(ParseMOIReply(MoiReply(195).span(), r));
  EXPECT_EQ(2, r.DevType);
  EXPECT_EQ("CAM-0001", r.DevID);
  EXPECT_EQ("CAM0001", r.NormID);
  EXPECT_EQ("Lobby \xE2\x82\xAC", r.DevName);
  EXPECT_EQ("192.168.1.20", r.IPAddr);
  EXPECT_EQ("255.255.255.0", r.Netmask);
  EXPECT_EQ("192.168.1.1", r.Gateway);
  EXPECT_EQ("8.8.4.4", r.DNS1);
  EXPECT_EQ("", r.DNS2);
  EXPECT_EQ("1.2.3.4:5.6.7.8", r.Version);
  EXPECT_EQ(81, r.DevPort);  // 0x00 0x51 in network order
  EXPECT_EQ(1, r.DhcpFlag);
  EXPECT_EQ("cam.example.net", r.DdnsHost);
  EXPECT_EQ("ddnsuser", r.DdnsUser);
  EXPECT_EQ("", r.DdnsPassword);
}

TEST(DiscoveryParsers, MoiBodyLengthsOpCodesAndDhcp) {
  const struct {
    int op;
    int body;
    int dhcp_byte;
    bool accepted;
    int dhcp;
    const char* ddns_host;
  } cases[] = {
      {1, 195, 1, true, 1, "cam.example.net"},
      {1, 195, 2, true, 2, "cam.example.net"},
      {1, 195, 0, true, 2, "cam.example.net"},
      {1, 64, 1, true, 2, ""},
      {1, 65, 1, true, 2, ""},
      {0, 195, 1, false, 2, ""},
      {2, 64, 1, false, 2, ""},
      {1, 63, 1, false, 2, ""},
      {1, 196, 1, false, 2, ""},
      {1, 0, 1, false, 2, ""},
  };
  for (const auto& c : cases) {
    Datagram d = MoiReply(c.body);
    d.U16(4, c.op).Bytes(87, {c.dhcp_byte});
    TDevInfo r;
    EXPECT_EQ(c.accepted, ParseMOIReply(d.span(), r)) << c.op << "/" << c.body;
    EXPECT_EQ(c.accepted ? 2 : -1, r.DevType);
    if (!c.accepted) continue;
    EXPECT_EQ(c.dhcp, r.DhcpFlag) << c.body << "/" << c.dhcp_byte;
    EXPECT_EQ(c.ddns_host, r.DdnsHost) << c.body;
  }
}

TEST(DiscoveryParsers, MoiShortAndLongDatagramsStayInBounds) {
  const TBytes full = MoiReply(195).bytes;
  // Cut after the IP address: everything later reads as zero.
  TDevInfo r;
  ASSERT_TRUE(ParseMOIReply(TDatagram(full.data(), 61), r));
  EXPECT_EQ("192.168.1.20", r.IPAddr);
  EXPECT_EQ("0.0.0.0", r.Netmask);
  EXPECT_EQ("0.0.0.0:0.0.0.0", r.Version);
  EXPECT_EQ(0, r.DevPort);
  // An ID without its zero byte ends at its 13 bytes, a name at its 21.
  Datagram d = MoiReply(195);
  d.Text(23, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
  TDevInfo r2;
  ASSERT_TRUE(ParseMOIReply(d.span(), r2));
  EXPECT_EQ("ABCDEFGHIJKLM", r2.DevID);
  EXPECT_EQ("NOPQRSTUVWXYZ01234567", r2.DevName);
  // A datagram longer than the 279-byte buffer is cut there.
  TBytes longer(2000, 'x');
  std::copy(full.begin(), full.end(), longer.begin());
  TDevInfo r3;
  EXPECT_TRUE(ParseMOIReply(longer, r3));
  // Every length of a truncated reply, one byte at a time.
  for (std::size_t n = 0; n <= full.size(); ++n) {
    TBytes exact(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
    TDevInfo any;
    ParseMOIReply(exact, any);
  }
}

// ---- text reply -------------------------------------------------------------------------------

TBytes TextReply(const std::string& text) { return TBytes(text.begin(), text.end()); }

TEST(DiscoveryParsers, TextReplyEveryKey) {
  const TBytes reply = TextReply(
      "REPLY OK\r\n-sn SN123\r\n-name Front door\r\n-ip 10.1.2.3\r\n-netmask 255.0.0.0\r\n"
      "-portctp 7998\r\n-mdns 1.1.1.1\r\n-sdns 2.2.2.2\r\n-mac 00:1a:2b:3c:4d:5e\r\n"
      "-gw 10.0.0.1\r\n-ddnsuser alice\r\n-ddnspswd secret\r\n-ddns cam.example.org\r\n"
      "-version K 2.3.4 build\r\n-dhcpen 1\r\n");
  TDevInfo r;
  r.DhcpFlag = 1;
  ASSERT_TRUE(ParseTextReply(reply, r));
  EXPECT_EQ(5, r.DevType);
  EXPECT_EQ("SN123", r.SerialNo);
  EXPECT_EQ("Front door", r.DevName);
  EXPECT_EQ("10.1.2.3", r.IPAddr);
  EXPECT_EQ("255.0.0.0", r.Netmask);
  EXPECT_EQ(7998, r.DevPort);
  EXPECT_EQ("1.1.1.1", r.DNS1);
  EXPECT_EQ("2.2.2.2", r.DNS2);
  EXPECT_EQ("001a2b3c4d5e", r.DevID);
  EXPECT_EQ("001A2B3C4D5E", r.NormID);
  EXPECT_EQ("10.0.0.1", r.Gateway);
  EXPECT_EQ("alice", r.DdnsUser);
  EXPECT_EQ("secret", r.DdnsPassword);
  EXPECT_EQ("cam.example.org", r.DdnsHost);
  EXPECT_EQ("K 2.3.4 build", r.Version);
  EXPECT_EQ(2, r.DhcpFlag);
}

TEST(DiscoveryParsers, TextReplyKeyMustEndAtItsSeparator) {
  // "-ddns" must not take the "-ddnsuser" line that comes first, nor "-ip" an "-ipv6" line.
  TDevInfo r;
  ASSERT_TRUE(ParseTextReply(
      TextReply("REPLY\r\n-ddnsuser bob\r\n-ipv6 fe80::1\r\n-ddns host.example\r\n-ip 10.0.0.9"),
      r));
  EXPECT_EQ("host.example", r.DdnsHost);
  EXPECT_EQ("bob", r.DdnsUser);
  EXPECT_EQ("10.0.0.9", r.IPAddr);
  // Without a "-ddns" line of its own the host stays empty.
  TDevInfo r2;
  ASSERT_TRUE(ParseTextReply(TextReply("REPLY\r\n-ddnsuser bob\r\n-ddnspswd pw"), r2));
  EXPECT_EQ("", r2.DdnsHost);
}

TEST(DiscoveryParsers, TextReplyPortMacAndRecognition) {
  const struct {
    const char* text;
    bool accepted;
    int port;
    const char* id;
  } cases[] = {
      {"REPLY\r\n-ip 1.2.3.4", true, 0, ""},      // no "-portctp", no "-mac"
      {"REPLY\r\n-portctp abc", true, 80, ""},    // not a number
      {"REPLY\r\n-portctp 99999", true, 80, ""},  // not a port
      {"REPLY\r\n-portctp ", true, 80, ""},       // empty value
      {"REPLY\r\n-portctp 81\r\n-mac AA:BB", true, 81, "AABB"},
      {"REPLYxyz", true, 0, ""},  // anything after "REPLY" still counts
      {"REPL", false, 0, ""},
      {"reply\r\n-ip 1.2.3.4", false, 0, ""},
      {"", false, 0, ""},
  };
  for (const auto& c : cases) {
    TDevInfo r;
    EXPECT_EQ(c.accepted, ParseTextReply(TextReply(c.text), r)) << c.text;
    EXPECT_EQ(c.port, r.DevPort) << c.text;
    EXPECT_EQ(c.id, r.DevID) << c.text;
  }
  std::vector<std::string> lines{"-a", "-ab x", "-abc y"};
  std::string value = "unchanged";
  EXPECT_TRUE(FindKeyValue("-a", lines, value));
  EXPECT_EQ("", value);
  EXPECT_TRUE(FindKeyValue("-abc", lines, value));
  EXPECT_EQ("y", value);
  EXPECT_FALSE(FindKeyValue("-b", lines, value));
}

// ---- 1010 -------------------------------------------------------------------------------------

Datagram Hello() {
  Datagram d(140);
  d.Bytes(0, {0x10, 0x10}).U16(2, 0x8F01).Bytes(4, {0xAB, 0xCD}).U16(6, 132);
  for (std::size_t i = 8; i < 140; ++i) d.bytes[i] = static_cast<std::uint8_t>(i);
  return d;
}

Datagram Info() {
  Datagram d(136 + 8);
  d.Bytes(0, {0x10, 0x10}).U16(2, 0x8F12).Bytes(4, {0x01, 0x02}).U16(6, 136);
  d.Text(8, "192.168.5.6").Text(24, "255.255.0.0").Text(40, "192.168.0.1");
  d.Text(56, "9.9.9.9").Text(72, "1.0.0.1").U16(88, 8080).U16(94, 0x0203);
  d.Bytes(96, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
  d.Bytes(104, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD}).Bytes(111, {7});
  d.Text(112, "Garage \xE5\xBA\x93").Text(136, "2.1.0");
  return d;
}

TEST(DiscoveryParsers, Hello1010GivesOneInfoRequestAndNoRecord) {
  Sent sent;
  TDevInfo r;
  EXPECT_FALSE(ParseReply(Hello().span(), r, &sent, nullptr));
  EXPECT_EQ(-1, r.DevType);
  ASSERT_EQ(1u, sent.datagrams.size());
  EXPECT_EQ(6801, sent.datagrams[0].first);
  const TBytes& request = sent.datagrams[0].second;
  ASSERT_EQ(136u, request.size());
  const TBytes header{0x10, 0x10, 0x12, 0x0F, 0xAB, 0xCD, 128, 0};
  EXPECT_EQ(header, TBytes(request.begin(), request.begin() + 8));
  for (std::size_t i = 0; i < 128; ++i) ASSERT_EQ(12 + i, request[8 + i]) << i;
}

TEST(DiscoveryParsers, Info1010EveryFieldAndTheDdnsRequest) {
  Sent sent;
  TDevInfo r;
  const Datagram info = Info();
  ASSERT_TRUE(ParseReply(info.span(), r, &sent, nullptr));
  EXPECT_EQ(8, r.DevType);
  EXPECT_EQ("192.168.5.6", r.IPAddr);
  EXPECT_EQ("255.255.0.0", r.Netmask);
  EXPECT_EQ("192.168.0.1", r.Gateway);
  EXPECT_EQ("9.9.9.9", r.DNS1);
  EXPECT_EQ("1.0.0.1", r.DNS2);
  EXPECT_EQ(8080, r.DevPort);
  EXPECT_EQ(0x0203, r.AuxWord);
  EXPECT_EQ("001a2b3c4d5e", r.DevID);
  EXPECT_EQ("001A2B3C4D5E", r.NormID);
  EXPECT_EQ("0123456789abcd", r.SerialNo);
  EXPECT_EQ(1, r.DhcpFlag);
  EXPECT_EQ("Garage \xE5\xBA\x93", r.DevName);
  EXPECT_EQ("2.1.0", r.Version);
  ASSERT_EQ(1u, sent.datagrams.size());
  const TBytes& request = sent.datagrams[0].second;
  ASSERT_EQ(136u, request.size());
  const TBytes header{0x10, 0x10, 0x0F, 0x0F, 0x01, 0x02, 128, 0};
  EXPECT_EQ(header, TBytes(request.begin(), request.begin() + 8));
  EXPECT_TRUE(std::equal(request.begin() + 8, request.end(), info.bytes.begin() + 8));

  Datagram no_dhcp = Info();
  no_dhcp.Bytes(111, {0});
  TDevInfo r2;
  ASSERT_TRUE(Parse1010Info(no_dhcp.span(), r2, nullptr, 6801));
  EXPECT_EQ(2, r2.DhcpFlag);
}

TEST(DiscoveryParsers, Info1010CutShortReadsZero) {
  const TBytes full = Info().bytes;
  TDevInfo r;
  ASSERT_TRUE(Parse1010Info(TDatagram(full.data(), 20), r, nullptr, 6801));
  EXPECT_EQ("192.168.5.6", r.IPAddr);
  EXPECT_EQ("", r.Netmask);
  EXPECT_EQ("000000000000", r.DevID);
  EXPECT_EQ(2, r.DhcpFlag);
  // The version runs to the end of the datagram when no zero byte ends it.
  TDevInfo r2;
  ASSERT_TRUE(Parse1010Info(TDatagram(full.data(), 139), r2, nullptr, 6801));
  EXPECT_EQ("2.1", r2.Version);
  // Three bytes: a 1010 datagram whose command reads as 0x0012, which no rule takes.
  const std::uint8_t three[] = {0x10, 0x10, 0x12};
  TDevInfo r3;
  EXPECT_FALSE(ParseReply(three, r3, nullptr, nullptr));
  const std::uint8_t two[] = {0x10, 0x10};
  EXPECT_FALSE(ParseReply(two, r3, nullptr, nullptr));
}

TEST(DiscoveryParsers, Ddns1010MergesIntoTheKnownEntryOnly) {
  Datagram ddns(400);
  ddns.Bytes(0, {0x10, 0x10}).U16(2, 0x8F0F).Bytes(96, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
  ddns.Text(142, "home.example.net").Text(272, "carol").Text(336, "pa55");
  std::map<std::string, TDevInfo> list;
  TDevInfo entry;
  entry.DevType = 8;
  entry.DevID = "001a2b3c4d5e";
  entry.IPAddr = "192.168.5.6";
  entry.Lifetime = 7;
  const TFindByID find = [&](const std::string& id) -> TDevInfo* {
    auto it = list.find(id);
    return it == list.end() ? nullptr : &it->second;
  };
  TDevInfo r;
  EXPECT_FALSE(ParseReply(ddns.span(), r, nullptr, find));  // unknown MAC: nothing
  EXPECT_EQ(-1, r.DevType);
  list[entry.DevID] = entry;
  ASSERT_TRUE(ParseReply(ddns.span(), r, nullptr, find));
  EXPECT_EQ("home.example.net", list[entry.DevID].DdnsHost);
  EXPECT_EQ("carol", list[entry.DevID].DdnsUser);
  EXPECT_EQ("pa55", list[entry.DevID].DdnsPassword);
  EXPECT_EQ(8, r.DevType);
  EXPECT_EQ("192.168.5.6", r.IPAddr);
  EXPECT_EQ("home.example.net", r.DdnsHost);
}

// ---- 8600 -------------------------------------------------------------------------------------

Datagram Reply8600() {
  Datagram d(516);
  d.U16(0, 0x4844).U16(2, 0x0801);
  d.Text(4, "10.9.8.7").Text(20, "255.255.255.0").Text(36, "10.9.8.1").Text(52, "10.9.8.2");
  d.Text(68, "10.9.8.3").Bytes(84, {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x0A}).U16(90, 8600);
  d.Text(92, "SERIAL-8600").Text(124, "Yard \xFF camera").Text(204, "84.2.0.130");
  d.Bytes(301, {1}).Text(324, "r.example.com").Text(452, "dave").Text(484, "hunter2");
  return d;
}

TEST(DiscoveryParsers, Reply8600EveryField) {
  TDevInfo r;
  ASSERT_TRUE(Parse8600Reply(Reply8600().span(), r));
  EXPECT_EQ(9, r.DevType);
  EXPECT_EQ("10.9.8.7", r.IPAddr);
  EXPECT_EQ("255.255.255.0", r.Netmask);
  EXPECT_EQ("10.9.8.1", r.Gateway);
  EXPECT_EQ("10.9.8.2", r.DNS1);
  EXPECT_EQ("10.9.8.3", r.DNS2);
  EXPECT_EQ("DE:AD:BE:EF:00:0A", r.DevID);
  EXPECT_EQ("DEADBEEF000A", r.NormID);
  EXPECT_EQ(8600, r.DevPort);
  EXPECT_EQ("SERIAL-8600", r.SerialNo);
  EXPECT_EQ("Yard \xFF camera", r.DevName);  // taken as it comes
  EXPECT_EQ("84.2.0.130", r.Version);
  EXPECT_EQ(1, r.DhcpFlag);
  EXPECT_EQ("r.example.com", r.DdnsHost);
  EXPECT_EQ("dave", r.DdnsUser);
  EXPECT_EQ("hunter2", r.DdnsPassword);
}

TEST(DiscoveryParsers, Reply8600RecognitionWidthsAndDhcp) {
  Datagram full_width = Reply8600();
  full_width.Text(4, "0123456789abcdefXYZ");  // no zero byte: the field ends at its width
  TDevInfo r;
  ASSERT_TRUE(Parse8600Reply(full_width.span(), r));
  EXPECT_EQ("0123456789abcdef", r.IPAddr);
  for (int dhcp : {0, 2, 255}) {
    Datagram d = Reply8600();
    d.Bytes(301, {dhcp});
    TDevInfo x;
    ASSERT_TRUE(Parse8600Reply(d.span(), x));
    EXPECT_EQ(2, x.DhcpFlag) << dhcp;
  }
  Datagram query = Reply8600();
  query.U16(2, 0x0101);
  TDevInfo q;
  EXPECT_FALSE(Parse8600Reply(query.span(), q));
  EXPECT_EQ(-1, q.DevType);
  // The 8600 reply is not one of the formats of the dialog's endpoints.
  EXPECT_FALSE(ParseReply(Reply8600().span(), q, nullptr, nullptr));
  const TBytes full = Reply8600().bytes;
  for (std::size_t n = 0; n <= full.size(); n += 7) {
    TDevInfo any;
    EXPECT_EQ(n >= 4, Parse8600Reply(TDatagram(full.data(), n), any)) << n;
  }
}

TEST(DiscoveryParsers, Reply8600VersionIsSixteenWide) {
  // The settings request gives the version 32 bytes; the reply only 16, and the 16 after it are
  // not the version's.
  Datagram d = Reply8600();
  d.Text(204, "84.2.0.130-build").Text(220, "-7 unused");
  TDevInfo r;
  ASSERT_TRUE(Parse8600Reply(d.span(), r));
  EXPECT_EQ("84.2.0.130-build", r.Version);
}

TEST(DiscoveryParsers, RecognitionOrder) {
  TDevInfo r;
  const std::string moi = "MO_I";  // merely beginning with "MO_I": the MO_I rule decides
  EXPECT_FALSE(ParseReply(TextReply(moi), r, nullptr, nullptr));
  EXPECT_TRUE(ParseReply(MoiReply(64).span(), r, nullptr, nullptr));
  EXPECT_EQ(2, r.DevType);
  TDevInfo t;
  EXPECT_TRUE(ParseReply(TextReply("REPLY-ish"), t, nullptr, nullptr));
  EXPECT_EQ(5, t.DevType);
  TDevInfo n;
  EXPECT_FALSE(ParseReply(TextReply("uicam query"), n, nullptr, nullptr));
  EXPECT_FALSE(ParseReply(TDatagram(), n, nullptr, nullptr));
  EXPECT_EQ(-1, n.DevType);
}

}  // namespace
}  // namespace camlift
