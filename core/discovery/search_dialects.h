// SPDX-License-Identifier: Apache-2.0
// The dialects of the LAN search, one row each (search_dialects.cpp): what a search pass sends,
// to which port and through which local endpoint, how a reply of the dialect is recognised and
// parsed, what else the dialect does with a reply, and the type its cameras get in the list. The
// search engine's pass, the reply dispatch (ParseReply), the type table, the list's rules per
// type, the fuzz target of the replies and the table's test all walk these rows.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "discovery/datagram_sender.h"
#include "discovery/dev_info.h"
#include "discovery/dev_types.h"
#include "discovery/reply_parsers.h"
#include "discovery/search_datagrams.h"

namespace camlift {

// The list entry whose DevID equals the text, or none.
using TFindByID = std::function<TDevInfo*(const std::string& dev_id)>;

// Where a dialect's follow-up requests go: the endpoint that sent its query (a sender that lets
// each distinct request out once a pass) and the port its query went to.
struct TFollowUpTarget {
  IDatagramSender* sender = nullptr;  // none: nothing goes out
  std::uint16_t port = 0;
};

// What a reply gave the search.
enum class TReplyResult {
  None,    // no camera record
  Record,  // a record of the camera that sent the reply
  Merged,  // a listed entry took the reply's fields; the record is a copy of that entry
};

// The hook of a dialect that does more with a reply than parse it: it may answer with a
// follow-up request through target, or merge the reply into the entry find gives.
using TFollowUpHook = TReplyResult (*)(TDatagram datagram, TDevInfo& record,
                                       const TFollowUpTarget& target, const TFindByID& find);

// A local endpoint of the search engine: its number and the first local port it tries.
struct TSearchEndpoint {
  int number = 0;
  std::uint16_t first_port = 0;
};
// The endpoint number of a dialect whose query and replies go through a socket and receive
// threads of its own (IOwnThreadSearch, the series R search).
inline constexpr int kOwnThread = 0;
// The endpoint of the IMAGIA query, which the service shortcut's IMAGIA command uses too.
inline constexpr int kImagiaEndpointNumber = 1;

struct TDialect {
  // How the simulator's responder and the fuzz seeds (fuzz/corpus/udp_reply/<name>/) name it.
  std::string_view name{};
  TBytes (*query)() = nullptr;
  std::uint16_t port = 0;  // where the query goes (TSearchPorts may move it)
  int endpoint = 0;        // the engine's endpoint that sends it and hears its replies; kOwnThread
  int every = 1;           // sent on the passes whose tick number is a multiple of this
  // The first bytes that make a datagram this dialect's reply: then this row decides, whatever
  // the rows after it would say. Null: nothing the endpoints receive is this dialect's.
  bool (*recognises)(TDatagram datagram) = nullptr;
  // The pure parser of the reply that names a camera; true and DevType = type.code when it
  // accepts. Null: no reply format is tied to the query.
  bool (*parse)(TDatagram datagram, TDevInfo& record) = nullptr;
  // Null: a recognised reply goes to parse.
  TFollowUpHook follow_up = nullptr;
  TDeviceType type{};  // code kTypeNone: the dialect produces no record
};

// The rows in the order a search pass sends them; replies are recognised in this order too.
std::span<const TDialect> DialectTable();
// The engine's local endpoints, in the order they are bound: when 10000 is taken, endpoint 2
// moves up and the others with it.
std::span<const TSearchEndpoint> SearchEndpoints();
// The row of that name, or nullptr.
const TDialect* FindDialect(std::string_view name);
// Broadcasts the row's query to port through endpoint; errors of the socket layer are swallowed.
void SendDialectQuery(const TDialect& dialect, std::uint16_t port, IDatagramSender& endpoint);

}  // namespace camlift
