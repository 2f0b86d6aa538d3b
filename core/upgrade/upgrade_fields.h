// SPDX-License-Identifier: Apache-2.0
// The checks the main window makes before it starts an upgrade, in their order; the first that
// fails is logged and moves the focus.
#pragma once

#include <string>

#include "discovery/series.h"

namespace camlift {

enum class TUpgradeField { None, Series, Account, Address, Port };

struct TUpgradeFields {
  TSeries series = TSeries::None;
  std::string account;
  std::string password;
  std::string address;
  std::string port;
};

struct TFieldCheck {
  std::string failure_key;  // IDS_ key of the log line; empty when every check passed
  TUpgradeField focus = TUpgradeField::None;
  // What the upgrade starts with when every check passed.
  std::string user, password, ip;
  int port = 0;
};

TFieldCheck CheckUpgradeFields(const TUpgradeFields& fields);
// A decimal integer with blanks around it; fallback for anything else.
int ReadDecimal(const std::string& text, int fallback);

}  // namespace camlift
