// SPDX-License-Identifier: Apache-2.0
// The reply parsers of the LAN search: pure functions over the received bytes. A 1010 answer is
// turned into a decision (a record, the follow-up request to send, DDNS fields to merge); sending
// it is reply_intake's job. Every layout is a table in reply_parsers.cpp, read through
// TByteReader, so no parser reads outside the datagram whatever its length.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/dev_info.h"
#include "discovery/search_datagrams.h"

namespace camlift {

using TDatagram = std::span<const std::uint8_t>;

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

// Which parser a datagram is for, by its first bytes (the rows of search_dialects.cpp ask them in
// this order): "MO_I"; "REPLY"; 0x10 0x10 and at least one more byte.
bool IsMOIReply(TDatagram datagram);
bool IsTextReply(TDatagram datagram);
bool Is1010Datagram(TDatagram datagram);

bool ParseMOIReply(TDatagram datagram, TDevInfo& record);
bool ParseTextReply(TDatagram datagram, TDevInfo& record);
bool Parse8600Reply(TDatagram buffer, TDevInfo& record);
// 0x8F12: the 1010 information reply, which names the camera (the search answers it too:
// Decide1010).
bool Parse1010InfoReply(TDatagram datagram, TDevInfo& record);

struct T1010Ddns {
  std::string Mac;
  std::string Host;
  std::string User;
  std::string Password;
};
// 0x8F0F: the MAC text and the three DDNS texts.
bool Parse1010Ddns(TDatagram datagram, T1010Ddns& out);

// What a 1010 datagram asks of the search.
enum class T1010Answer {
  None,   // not a 1010 answer the search knows
  Hello,  // 0x8F01: FollowUp is the 0x0F12 info request
  Info,   // 0x8F12: the record was filled; FollowUp is the 0x0F0F DDNS request
  Ddns,   // 0x8F0F: Ddns holds the fields to merge into the listed camera with that MAC
};
struct T1010Decision {
  T1010Answer Answer = T1010Answer::None;
  TBytes FollowUp;
  T1010Ddns Ddns;
};
// Decides what to do with a 1010 datagram; an info answer fills record (other fields untouched).
T1010Decision Decide1010(TDatagram datagram, TDevInfo& record);

// The 136-byte request that answers a 1010 datagram: its header with command and a body length
// of 128, then the 128 bytes from body_offset of the datagram (zero past its end).
TBytes Build1010FollowUp(TDatagram datagram, std::uint16_t command, std::size_t body_offset);

// The text-reply line rule: the first line that begins with key followed by a separator (or by
// nothing); value is the rest of the line after that separator.
bool FindKeyValue(std::string_view key, const std::vector<std::string>& lines, std::string& value);

}  // namespace camlift
