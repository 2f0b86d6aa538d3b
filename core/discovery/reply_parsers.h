// The reply parsers of the LAN search: pure functions over the received bytes (the 1010 ones also
// broadcast their follow-up request). Every layout is a table in reply_parsers.cpp, read through
// TByteReader, so no parser reads outside the datagram whatever its length.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/dev_info.h"
#include "discovery/search_datagrams.h"
#include "discovery/udp_endpoint.h"

namespace camlift {

using TDatagram = std::span<const std::uint8_t>;
// The list entry whose DevID equals the text, or none.
using TFindByID = std::function<TDevInfo*(const std::string& dev_id)>;

// Sizes of the buffers the replies are copied into; longer datagrams are cut there.
inline constexpr std::size_t kMOIBufferSize = 279;
inline constexpr std::size_t k8600BufferSize = 1024;
inline constexpr std::size_t k1010FollowUpSize = 136;

// 1010 commands.
inline constexpr std::uint16_t k1010Query = 0x0F01;
inline constexpr std::uint16_t k1010Hello = 0x8F01;
inline constexpr std::uint16_t k1010InfoRequest = 0x0F12;
inline constexpr std::uint16_t k1010Info = 0x8F12;
inline constexpr std::uint16_t k1010DdnsRequest = 0x0F0F;
inline constexpr std::uint16_t k1010Ddns = 0x8F0F;

// Recognises a reply in the order MO_I, text reply, 1010, and fills record (cleared by the caller,
// DevType -1). True when record holds a camera record. The 1010 answers send their follow-up
// through endpoint_1010 to port_1010; a 1010 DDNS reply is merged into the entry find gives.
bool ParseReply(TDatagram datagram, TDevInfo& record, IDatagramSender* endpoint_1010,
                const TFindByID& find, std::uint16_t port_1010 = k1010Port);

bool ParseMOIReply(TDatagram datagram, TDevInfo& record);
bool ParseTextReply(TDatagram datagram, TDevInfo& record);
bool Parse8600Reply(TDatagram buffer, TDevInfo& record);

// 0x8F01: broadcasts the 0x0F12 request to port. True when the datagram was such an answer.
bool Answer1010Hello(TDatagram datagram, std::uint16_t port, IDatagramSender* endpoint);
// 0x8F12: fills record and broadcasts the 0x0F0F request to port.
bool Parse1010Info(TDatagram datagram, TDevInfo& record, IDatagramSender* endpoint,
                   std::uint16_t port);
struct T1010Ddns {
  std::string Mac;
  std::string Host;
  std::string User;
  std::string Password;
};
// 0x8F0F: the MAC text and the three DDNS texts.
bool Parse1010Ddns(TDatagram datagram, T1010Ddns& out);

// The 136-byte request that answers a 1010 datagram: its header with command and a body length
// of 128, then the 128 bytes from body_offset of the datagram (zero past its end).
TBytes Build1010FollowUp(TDatagram datagram, std::uint16_t command, std::size_t body_offset);

// The text-reply line rule: the first line that begins with key followed by a separator (or by
// nothing); value is the rest of the line after that separator.
bool FindKeyValue(std::string_view key, const std::vector<std::string>& lines, std::string& value);

}  // namespace camlift
