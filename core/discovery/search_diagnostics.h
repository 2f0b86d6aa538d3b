// SPDX-License-Identifier: Apache-2.0
// What the search tells a user whose list stays empty: the interfaces and addresses it searched
// and the local UDP ports it could not bind (a firewall, or a port held by another program).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "discovery/net_interfaces.h"
#include "platform/socket.h"

namespace camlift {

struct TPortProblem {
  std::uint16_t Port = 0;         // the local port that could not be bound
  std::uint16_t UsedInstead = 0;  // the port taken in its place; 0: none, that search is off
};

struct TSearchDiagnostics {
  TSearchTargets Targets;                  // of the last search pass
  std::vector<TPortProblem> Ports;         // in the order the endpoints were bound
  std::string UnansweredAddress;           // a typed-in address that did not answer, if any
  std::vector<TSendProblem> SendProblems;  // search datagrams the system refused to send
  std::uint64_t RefusedRows = 0;           // new cameras refused because the list was full
  std::uint64_t DroppedReplies = 0;        // replies beyond what may wait for the list
};

// The diagnosis as lines of text (UTF-8, in the current language; English when the language
// lacks a text): addresses, interfaces, ports, the unanswered address, the refused sends.
std::vector<std::string> DiagnosticLines(const TSearchDiagnostics& diagnostics);

// The refused sends, one line per address and reason: "The search datagram could not be sent to
// 255.255.255.255:10000, 7999: Network is unreachable" (UTF-8, in the current language).
std::vector<std::string> SendProblemLines(const std::vector<TSendProblem>& problems);

// "The camera list is full (2048 cameras); replies of further cameras were refused: 17" (UTF-8,
// in the current language), empty when none was refused. Shown also when the list is not empty.
// "... were dropped: N", or empty when no reply was dropped.
std::string DroppedLine(const TSearchDiagnostics& diagnostics);
std::string ListFullLine(const TSearchDiagnostics& diagnostics);

// A language text as UTF-8, or fallback when the language has none.
std::string LangTextOr(const std::string& id, const std::string& fallback);

}  // namespace camlift
