// SPDX-License-Identifier: Apache-2.0
#include "discovery/reply_parsers.h"

#include <charconv>
#include <optional>

#include "discovery/dev_types.h"
#include "discovery/record_8600.h"
#include "discovery/tools_net.h"
#include "util/byte_reader.h"
#include "util/tools.h"

namespace camlift {
namespace {

using TTextMember = std::string TDevInfo::*;

// A character array of a reply: it ends at its first zero byte or at its width.
struct TTextField {
  std::size_t offset;
  std::size_t width;
  TTextMember field;
};

// Four bytes written as dotted decimal.
struct TAddressField {
  std::size_t offset;
  TTextMember field;
};

void ReadTexts(const TByteReader& reader, std::span<const TTextField> table, TDevInfo& record) {
  for (const TTextField& f : table) record.*f.field = reader.Text(f.offset, f.width);
}

std::string ReadAddress(const TByteReader& reader, std::size_t offset) {
  const auto bytes = reader.Bytes<4>(offset);
  return TTools_Net::IPToStr(bytes);
}

// ---- MO_I -------------------------------------------------------------------------------------
constexpr std::string_view kMOIMagic = "MO_I";
constexpr std::size_t kMOIOpCode = 4;
constexpr std::size_t kMOIBodyLength = 15;
constexpr std::uint16_t kMOIReplyOp = 1;
constexpr std::uint32_t kMOIShortBodies[] = {64, 65};
constexpr std::uint32_t kMOILongBody = 195;
constexpr TTextField kMOITexts[] = {
    {23, 13, &TDevInfo::DevID},
    {36, 21, &TDevInfo::DevName},
};
constexpr TAddressField kMOIAddresses[] = {
    {57, &TDevInfo::IPAddr},
    {61, &TDevInfo::Netmask},
    {65, &TDevInfo::Gateway},
    {69, &TDevInfo::DNS1},
};
constexpr std::size_t kMOISystemVersion = 77;
constexpr std::size_t kMOIAppVersion = 81;
constexpr std::size_t kMOIPortAt = 85;  // big-endian
// Present only in the long body.
constexpr std::size_t kMOIDhcp = 87;
constexpr TTextField kMOIDdnsTexts[] = {
    {88, 65, &TDevInfo::DdnsHost},
    {153, 65, &TDevInfo::DdnsUser},
};

// ---- text reply -------------------------------------------------------------------------------
constexpr std::string_view kTextMagic = "REPLY";
enum class TTextKind { Text, Port, Mac };
struct TTextKey {
  std::string_view key;
  TTextKind kind;
  TTextMember field;
};
constexpr TTextKey kTextKeys[] = {
    {"-sn", TTextKind::Text, &TDevInfo::SerialNo},
    {"-name", TTextKind::Text, &TDevInfo::DevName},
    {"-ip", TTextKind::Text, &TDevInfo::IPAddr},
    {"-netmask", TTextKind::Text, &TDevInfo::Netmask},
    {"-portctp", TTextKind::Port, nullptr},
    {"-mdns", TTextKind::Text, &TDevInfo::DNS1},
    {"-sdns", TTextKind::Text, &TDevInfo::DNS2},
    {"-mac", TTextKind::Mac, &TDevInfo::DevID},
    {"-gw", TTextKind::Text, &TDevInfo::Gateway},
    {"-ddnsuser", TTextKind::Text, &TDevInfo::DdnsUser},
    {"-ddnspswd", TTextKind::Text, &TDevInfo::DdnsPassword},
    {"-ddns", TTextKind::Text, &TDevInfo::DdnsHost},
    {"-version", TTextKind::Text, &TDevInfo::Version},
};
constexpr std::uint16_t kTextDefaultPort = 80;

// ---- 1010 -------------------------------------------------------------------------------------
constexpr std::size_t k1010Command = 2;
constexpr std::size_t k1010BodyLength = 6;
constexpr std::size_t k1010HeaderSize = 8;
constexpr std::uint16_t k1010FollowUpBody = 128;
constexpr std::size_t k1010HelloBody = 12;  // where the hello's echoed bytes start
constexpr std::size_t k1010InfoBody = 8;
constexpr TTextField k1010InfoTexts[] = {
    {8, 16, &TDevInfo::IPAddr},          {24, 16, &TDevInfo::Netmask},
    {40, 16, &TDevInfo::Gateway},        {56, 16, &TDevInfo::DNS1},
    {72, 16, &TDevInfo::DNS2},           {112, 24, &TDevInfo::DevName},
    {136, SIZE_MAX, &TDevInfo::Version},
};
constexpr std::size_t k1010PortAt = 88;
constexpr std::size_t k1010AuxWord = 94;
constexpr std::size_t k1010Mac = 96;
constexpr std::size_t k1010Serial = 104;
constexpr std::size_t k1010SerialBytes = 7;
constexpr std::size_t k1010Dhcp = 111;
// DDNS reply; each text ends at a zero byte and at the next field.
constexpr std::size_t k1010DdnsHost = 142;
constexpr std::size_t k1010DdnsUser = 272;
constexpr std::size_t k1010DdnsPassword = 336;

bool Is1010(const TByteReader& reader) {
  return reader.size() > 2 && reader.U8(0) == 0x10 && reader.U8(1) == 0x10;
}

bool Is1010Command(TDatagram datagram, std::uint16_t command) {
  const TByteReader reader(datagram);
  return Is1010(reader) && reader.U16LE(k1010Command) == command;
}

std::string SerialHex(const TByteReader& reader) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < k1010SerialBytes; ++i) {
    const std::uint8_t b = reader.U8(k1010Serial + i);
    out += kHex[b >> 4];
    out += kHex[b & 0x0F];
  }
  return out;
}

// A decimal port number, or nothing when the text is not one.
std::optional<std::uint16_t> ParsePort(std::string_view text) {
  unsigned value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || value > 0xFFFF) {
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(value);
}

bool IsKeyCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

bool ParseMOIReply(TDatagram datagram, TDevInfo& record) {
  const TByteReader reader(datagram, kMOIBufferSize);
  if (!reader.StartsWith(kMOIMagic) || reader.U16LE(kMOIOpCode) != kMOIReplyOp) return false;
  const std::uint32_t body = reader.U32LE(kMOIBodyLength);
  const bool long_body = body == kMOILongBody;
  if (!long_body && body != kMOIShortBodies[0] && body != kMOIShortBodies[1]) return false;
  record.DevType = kTypeMOI;
  ReadTexts(reader, kMOITexts, record);
  record.NormID = NormalizeID(record.DevID);
  for (const TAddressField& f : kMOIAddresses) record.*f.field = ReadAddress(reader, f.offset);
  record.Version =
      ReadAddress(reader, kMOISystemVersion) + ":" + ReadAddress(reader, kMOIAppVersion);
  record.DevPort = reader.U16BE(kMOIPortAt);
  record.DhcpFlag = 2;
  if (long_body) {
    record.DhcpFlag = reader.U8(kMOIDhcp) == 1 ? 1 : 2;
    ReadTexts(reader, kMOIDdnsTexts, record);
  }
  return true;
}

bool FindKeyValue(std::string_view key, const std::vector<std::string>& lines, std::string& value) {
  for (const std::string& line : lines) {
    if (line.compare(0, key.size(), key) != 0) continue;
    // "-ddns" must not take the "-ddnsuser" line: the key has to end where the line's key ends.
    if (line.size() > key.size() && IsKeyCharacter(line[key.size()])) continue;
    value = line.size() > key.size() + 1 ? line.substr(key.size() + 1) : std::string();
    return true;
  }
  return false;
}

bool ParseTextReply(TDatagram datagram, TDevInfo& record) {
  const TByteReader reader(datagram);
  if (!reader.StartsWith(kTextMagic)) return false;
  const std::string text(reinterpret_cast<const char*>(datagram.data()), datagram.size());
  std::vector<std::string> lines;
  TTools::SplitText(text, "\r\n", lines);
  for (const TTextKey& k : kTextKeys) {
    std::string value;
    if (!FindKeyValue(k.key, lines, value)) continue;
    switch (k.kind) {
      case TTextKind::Text:
        record.*k.field = value;
        break;
      case TTextKind::Port:
        record.DevPort = ParsePort(value).value_or(kTextDefaultPort);
        break;
      case TTextKind::Mac:
        std::erase(value, ':');
        record.*k.field = value;
        record.NormID = NormalizeID(value);
        break;
    }
  }
  record.DevType = kTypeText;
  record.DhcpFlag = 2;
  return true;
}

TBytes Build1010FollowUp(TDatagram datagram, std::uint16_t command, std::size_t body_offset) {
  const TByteReader reader(datagram);
  TBytes out(k1010FollowUpSize, 0);
  for (std::size_t i = 0; i < k1010HeaderSize; ++i) out[i] = reader.U8(i);
  out[k1010Command] = static_cast<std::uint8_t>(command & 0xFF);
  out[k1010Command + 1] = static_cast<std::uint8_t>(command >> 8);
  out[k1010BodyLength] = static_cast<std::uint8_t>(k1010FollowUpBody & 0xFF);
  out[k1010BodyLength + 1] = static_cast<std::uint8_t>(k1010FollowUpBody >> 8);
  for (std::size_t i = 0; i < k1010FollowUpBody; ++i) {
    out[k1010HeaderSize + i] = reader.U8(body_offset + i);
  }
  return out;
}

namespace {

void Read1010Info(TDatagram datagram, TDevInfo& record) {
  const TByteReader reader(datagram);
  record.DevType = kType1010;
  ReadTexts(reader, k1010InfoTexts, record);
  record.DevPort = reader.U16LE(k1010PortAt);
  record.AuxWord = reader.U16LE(k1010AuxWord);
  record.DevID = MacToHex(reader.Bytes<6>(k1010Mac));
  record.NormID = NormalizeID(record.DevID);
  record.SerialNo = SerialHex(reader);
  record.DhcpFlag = reader.U8(k1010Dhcp) == 0 ? 2 : 1;
}

}  // namespace

bool Parse1010Ddns(TDatagram datagram, T1010Ddns& out) {
  if (!Is1010Command(datagram, k1010Ddns)) return false;
  const TByteReader reader(datagram);
  out.Mac = MacToHex(reader.Bytes<6>(k1010Mac));
  out.Host = reader.Text(k1010DdnsHost, k1010DdnsUser - k1010DdnsHost);
  out.User = reader.Text(k1010DdnsUser, k1010DdnsPassword - k1010DdnsUser);
  out.Password = reader.TextToEnd(k1010DdnsPassword);
  return true;
}

bool Parse8600Reply(TDatagram buffer, TDevInfo& record) {
  const TByteReader reader(buffer, k8600BufferSize);
  if (reader.U16LE(k8600MagicAt) != k8600Magic || reader.U16LE(k8600KindAt) != k8600ReplyKind) {
    return false;
  }
  record.DevType = kType8600;
  for (const T8600Text& text : k8600Texts) {
    if (text.reply_width > 0) record.*text.member = reader.Text(text.offset, text.reply_width);
  }
  record.DevID = MacToColonHex(reader.Bytes<6>(k8600MacAt));
  record.NormID = NormalizeID(record.DevID);
  record.DevPort = reader.U16LE(k8600PortAt);
  record.DhcpFlag = reader.U8(k8600DhcpAt) == 1 ? 1 : 2;
  return true;
}

bool IsMOIReply(TDatagram datagram) { return TByteReader(datagram).StartsWith(kMOIMagic); }

bool IsTextReply(TDatagram datagram) { return TByteReader(datagram).StartsWith(kTextMagic); }

bool Is1010Datagram(TDatagram datagram) { return Is1010(TByteReader(datagram)); }

bool Parse1010InfoReply(TDatagram datagram, TDevInfo& record) {
  if (!Is1010Command(datagram, k1010Info)) return false;
  Read1010Info(datagram, record);
  return true;
}

T1010Decision Decide1010(TDatagram datagram, TDevInfo& record) {
  T1010Decision decision;
  if (Is1010Command(datagram, k1010Hello)) {
    decision.Answer = T1010Answer::Hello;
    decision.FollowUp = Build1010FollowUp(datagram, k1010InfoRequest, k1010HelloBody);
  } else if (Is1010Command(datagram, k1010Info)) {
    decision.Answer = T1010Answer::Info;
    Read1010Info(datagram, record);
    decision.FollowUp = Build1010FollowUp(datagram, k1010DdnsRequest, k1010InfoBody);
  } else if (Parse1010Ddns(datagram, decision.Ddns)) {
    decision.Answer = T1010Answer::Ddns;
  }
  return decision;
}

}  // namespace camlift
