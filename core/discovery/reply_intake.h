// SPDX-License-Identifier: Apache-2.0
// What the LAN search does with a received datagram: the rows of the dialect table recognise it,
// their pure parsers decide, and the follow-up requests a dialect's hook asks for are broadcast
// here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "discovery/dev_info.h"
#include "discovery/reply_parsers.h"
#include "discovery/search_datagrams.h"
#include "discovery/search_dialects.h"
#include "discovery/udp_endpoint.h"

namespace camlift {

// The follow-up target of each dialect (the search engine: the dialect's endpoint and port).
using TFollowUpTargets = std::function<TFollowUpTarget(const TDialect& dialect)>;

// Recognises a reply by the rows of DialectTable() whose replies reach the endpoints, in the
// table's order, and lets the first row that recognises it decide: its follow-up hook when it
// has one, else its parser. record is cleared by the caller (DevType -1).
TReplyResult TakeReply(TDatagram datagram, TDevInfo& record, const TFollowUpTargets& targets,
                       const TFindByID& find);

// TakeReply with one follow-up target for every dialect: follow_up, to follow_up_port (0: the
// port the dialect's query goes to, 6801 for 1010). True when record holds a camera record.
bool ParseReply(TDatagram datagram, TDevInfo& record, IDatagramSender* follow_up,
                const TFindByID& find, std::uint16_t follow_up_port = 0);

// The follow-up hook of the 1010 dialect: a hello is answered with the information request
// (no record), an information reply fills record and is answered with the DDNS request, a DDNS
// reply is merged into the entry find gives for its MAC.
TReplyResult Take1010Reply(TDatagram datagram, TDevInfo& record, const TFollowUpTarget& target,
                           const TFindByID& find);

// 0x8F01: broadcasts the 0x0F12 request to port. True when the datagram was such an answer.
bool Answer1010Hello(TDatagram datagram, std::uint16_t port, IDatagramSender* endpoint);
// 0x8F12: fills record and broadcasts the 0x0F0F request to port.
bool Parse1010Info(TDatagram datagram, TDevInfo& record, IDatagramSender* endpoint,
                   std::uint16_t port);

}  // namespace camlift
