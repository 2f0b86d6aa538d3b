// SPDX-License-Identifier: Apache-2.0
#include "discovery/account_scope.h"

#include "discovery/dev_types.h"
#include "discovery/search_diagnostics.h"
#include "platform/broadcast.h"

namespace camlift {

bool ReplyFromOtherAddress(const TDevInfo& row) {
  return !row.ReplyFrom.empty() && row.ReplyFrom != row.IPAddr;
}

bool OnAdapterSubnet(const std::string& address, const std::vector<TNetInterface>& adapters) {
  const std::optional<std::uint32_t> wanted = ParseDottedIPv4(address);
  if (!wanted) return false;
  for (const TNetInterface& net : adapters) {
    // An adapter without a netmask would take in every address there is.
    if (!net.Up || net.Address == 0 || net.Netmask == 0) continue;
    if ((*wanted & net.Netmask) == (net.Address & net.Netmask)) return true;
  }
  return false;
}

TAccountVerdict AccountVerdictFor(const TDevInfo& row, const std::vector<TNetInterface>& adapters) {
  TAccountVerdict verdict;
  verdict.address = row.IPAddr;
  verdict.reply_from = row.ReplyFrom;
  if (row.DevType == kTypeManual) return verdict;
  if (row.ReplyFrom.empty()) {
    verdict.scope = TAccountScope::Unconfirmed;
  } else if (ReplyFromOtherAddress(row) || !ParseDottedIPv4(row.IPAddr)) {
    verdict.scope = TAccountScope::ReplyFromOther;
  } else if (!OnAdapterSubnet(row.IPAddr, adapters)) {
    verdict.scope = TAccountScope::OffSubnet;
  }
  return verdict;
}

std::string AccountWithheldText(const TAccountVerdict& verdict) {
  switch (verdict.scope) {
    case TAccountScope::Sent:
      return {};
    case TAccountScope::ReplyFromOther:
      return LangTextOr("IDS_NOTSENTOTHER", "the search reply came from") + " " +
             verdict.reply_from;
    case TAccountScope::OffSubnet:
      return LangTextOr("IDS_NOTSENTSUBNET", "the address is on none of this computer's networks");
    case TAccountScope::Unconfirmed:
      return LangTextOr("IDS_NOTSENTUNCONFIRMED", "no search reply came from the address");
  }
  return {};
}

}  // namespace camlift
