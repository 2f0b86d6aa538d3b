// SPDX-License-Identifier: Apache-2.0
#include "discovery/search_diagnostics.h"

#include <system_error>

#include "i18n/str_res.h"
#include "platform/socket.h"

namespace camlift {
namespace {

struct TDiagText {
  const char* id;
  const char* english;
};

// The texts of the diagnosis, with the English of the language file for a store without them.
constexpr TDiagText kAddresses{"IDS_SEARCHADDRS", "Addresses searched:"};
constexpr TDiagText kInterfaces{"IDS_SEARCHIFACES", "Interfaces searched:"};
constexpr TDiagText kNoInterface{"IDS_SEARCHNOIFACE",
                                 "No network interface with a broadcast address is up."};
constexpr TDiagText kFixed{"IDS_SEARCHFIXED",
                           "The search address is fixed by CAMLIFT_BROADCAST_ADDR."};
constexpr TDiagText kMoved{"IDS_SEARCHPORTMOVED",
                           "Local UDP ports in use by another program (others taken instead):"};
constexpr TDiagText kUnbound{"IDS_SEARCHPORTNONE",
                             "Local UDP ports that could not be bound (that search is off):"};
constexpr TDiagText kPortsOk{"IDS_SEARCHPORTSOK", "Every local UDP port was bound."};
constexpr TDiagText kNoAnswer{"IDS_MANUALNOANSWER", "No answer from the address typed in:"};
constexpr TDiagText kNotSent{"IDS_SEARCHSENDERR", "The search datagram could not be sent to"};
// The bound is TDeviceList::kMaxRows.
constexpr TDiagText kListFull{
    "IDS_SEARCHLISTFULL",
    "The camera list is full (2048 cameras); replies of further cameras were refused:"};

// The bound is TUdpEndpoint::kMaxWaiting.
constexpr TDiagText kDropped{"IDS_SEARCHDROPPED",
                             "Replies that came faster than the list could take were dropped:"};

std::string Text(const TDiagText& text) { return LangTextOr(text.id, text.english); }

std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) {
    if (!out.empty()) out += ", ";
    out += item;
  }
  return out;
}

}  // namespace

std::string LangTextOr(const std::string& id, const std::string& fallback) {
  std::string text = GetLangStrUtf8(id);
  return text.empty() ? fallback : text;
}

std::vector<std::string> DiagnosticLines(const TSearchDiagnostics& diagnostics) {
  std::vector<std::string> lines;
  std::vector<std::string> addresses;
  for (const std::uint32_t address : diagnostics.Targets.Addresses) {
    addresses.push_back(AddressText(address));
  }
  lines.push_back(Text(kAddresses) + " " + Joined(addresses));
  if (diagnostics.Targets.Fixed) {
    lines.push_back(Text(kFixed));
  } else if (diagnostics.Targets.Interfaces.empty()) {
    lines.push_back(Text(kNoInterface));
  } else {
    std::vector<std::string> interfaces;
    for (const TNetInterface& net : diagnostics.Targets.Interfaces) {
      interfaces.push_back(net.Name + " " + InterfaceText(net));
    }
    lines.push_back(Text(kInterfaces) + " " + Joined(interfaces));
  }
  std::vector<std::string> moved;
  std::vector<std::string> unbound;
  for (const TPortProblem& problem : diagnostics.Ports) {
    if (problem.UsedInstead != 0) {
      moved.push_back(std::to_string(problem.Port) + " -> " + std::to_string(problem.UsedInstead));
    } else {
      unbound.push_back(std::to_string(problem.Port));
    }
  }
  if (!moved.empty()) lines.push_back(Text(kMoved) + " " + Joined(moved));
  if (!unbound.empty()) lines.push_back(Text(kUnbound) + " " + Joined(unbound));
  if (moved.empty() && unbound.empty()) lines.push_back(Text(kPortsOk));
  if (!diagnostics.UnansweredAddress.empty()) {
    lines.push_back(Text(kNoAnswer) + " " + diagnostics.UnansweredAddress);
  }
  for (std::string& line : SendProblemLines(diagnostics.SendProblems)) {
    lines.push_back(std::move(line));
  }
  if (std::string full = ListFullLine(diagnostics); !full.empty()) lines.push_back(full);
  if (std::string dropped = DroppedLine(diagnostics); !dropped.empty()) lines.push_back(dropped);
  return lines;
}

std::string ListFullLine(const TSearchDiagnostics& diagnostics) {
  if (diagnostics.RefusedRows == 0) return {};
  return Text(kListFull) + " " + std::to_string(diagnostics.RefusedRows);
}

std::string DroppedLine(const TSearchDiagnostics& diagnostics) {
  if (diagnostics.DroppedReplies == 0) return {};
  return Text(kDropped) + " " + std::to_string(diagnostics.DroppedReplies);
}

std::vector<std::string> SendProblemLines(const std::vector<TSendProblem>& problems) {
  // One line per address and reason: a missing route refuses the datagrams of every dialect.
  std::vector<std::string> lines;
  std::vector<bool> done(problems.size(), false);
  for (std::size_t i = 0; i < problems.size(); ++i) {
    if (done[i]) continue;
    std::string ports;
    for (std::size_t j = i; j < problems.size(); ++j) {
      if (done[j] || problems[j].Address != problems[i].Address ||
          problems[j].Error != problems[i].Error) {
        continue;
      }
      done[j] = true;
      ports += (ports.empty() ? "" : ", ") + std::to_string(problems[j].Port);
    }
    lines.push_back(Text(kNotSent) + " " + AddressText(problems[i].Address) + ":" + ports + ": " +
                    std::generic_category().message(problems[i].Error));
  }
  return lines;
}

}  // namespace camlift
