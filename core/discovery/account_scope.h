// SPDX-License-Identifier: Apache-2.0
// Where a camera account may go when the camera's address comes from a search. A search reply is
// unauthenticated: any host that hears a broadcast may answer it, naming any address in it. So
// the account goes only where the user sent it: to an address typed in or picked, to the cameras
// of a list the user gave, and over a search only to a camera whose reply came from the very
// address it names, on a subnet of one of this computer's adapters. Every other camera is read
// without the account, and what is shown of it says why.
#pragma once

#include <string>
#include <vector>

#include "discovery/dev_info.h"
#include "discovery/net_interfaces.h"

namespace camlift {

enum class TAccountScope {
  Sent,            // the account may go to the row's address
  ReplyFromOther,  // the reply came from another address than the one it names
  OffSubnet,       // the address is on no subnet of this computer's adapters
  Unconfirmed,     // no reply of ours came from it (the closed library's search reported it)
};

struct TAccountVerdict {
  TAccountScope scope = TAccountScope::Sent;
  std::string address;     // the row's address
  std::string reply_from;  // where its reply came from
  bool Sent() const { return scope == TAccountScope::Sent; }
};

// True when the row's reply came from another address than the one it names (the list marks it).
bool ReplyFromOtherAddress(const TDevInfo& row);
// True when address (dotted) lies on the subnet of an adapter that is up (loopback counts:
// 127.0.0.0/8 is this computer's own).
bool OnAdapterSubnet(const std::string& address, const std::vector<TNetInterface>& adapters);
// The rule for one row of a search; adapters: ListIPv4Interfaces() (tests give their own). An
// address typed in (kTypeManual) is the user's own choice.
TAccountVerdict AccountVerdictFor(const TDevInfo& row, const std::vector<TNetInterface>& adapters);
// Why the account was not sent, in the current language ("the reply came from 127.0.0.9, not
// from 127.0.0.5"); empty for Sent.
std::string AccountWithheldText(const TAccountVerdict& verdict);

}  // namespace camlift
