// SPDX-License-Identifier: Apache-2.0
// The camera list of a batch upgrade: a CSV file ("ip,port,series,user,password" with a header
// line, "#" comments) or the JSON lines that `camlift search --json` prints.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "discovery/dev_info.h"
#include "discovery/net_interfaces.h"
#include "discovery/series.h"

namespace camlift {

struct TCameraEntry {
  std::string ip;
  int port = 81;
  TSeries series = TSeries::None;
  std::string user;
  std::string password;
  int line = 0;  // where it stood in the list
  // Why the account does not go to this camera (a camera of a search whose reply the account
  // rule refuses, discovery/account_scope.h), in the language of the run; empty: it goes.
  // user and password are empty then.
  std::string account_withheld;
};

struct TCameraListResult {
  std::vector<TCameraEntry> cameras;
  std::vector<std::string> errors;  // one text per refused line, with its line number
};

// The cameras of a search, for a check over it (camlift status without a list, the window's
// "Check for updates"): each row with the account where AccountVerdictFor lets it go, else
// without it and with the reason in account_withheld. adapters: ListIPv4Interfaces().
std::vector<TCameraEntry> CamerasOfSearch(const std::vector<TDevInfo>& rows,
                                          const std::string& user, const std::string& password,
                                          const std::vector<TNetInterface>& adapters);

// Accounts missing from a line (or from every JSON line) come from default_user/password.
// Two entries for the same address and port are an error: a camera is upgraded once.
TCameraListResult ParseCameraList(std::string_view text, const std::string& default_user,
                                  const std::string& default_password);

}  // namespace camlift
