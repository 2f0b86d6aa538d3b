// SPDX-License-Identifier: Apache-2.0
// What the LAN search does with a received datagram: the pure reply parsers decide, and the 1010
// follow-up requests they ask for are broadcast here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "discovery/dev_info.h"
#include "discovery/reply_parsers.h"
#include "discovery/search_datagrams.h"
#include "discovery/udp_endpoint.h"

namespace camlift {

// The list entry whose DevID equals the text, or none.
using TFindByID = std::function<TDevInfo*(const std::string& dev_id)>;

// Recognises a reply in the order MO_I, text reply, 1010, and fills record (cleared by the caller,
// DevType -1). True when record holds a camera record. The 1010 answers send their follow-up
// through endpoint_1010 to port_1010; a 1010 DDNS reply is merged into the entry find gives.
bool ParseReply(TDatagram datagram, TDevInfo& record, IDatagramSender* endpoint_1010,
                const TFindByID& find, std::uint16_t port_1010 = k1010Port);

// 0x8F01: broadcasts the 0x0F12 request to port. True when the datagram was such an answer.
bool Answer1010Hello(TDatagram datagram, std::uint16_t port, IDatagramSender* endpoint);
// 0x8F12: fills record and broadcasts the 0x0F0F request to port.
bool Parse1010Info(TDatagram datagram, TDevInfo& record, IDatagramSender* endpoint,
                   std::uint16_t port);

}  // namespace camlift
