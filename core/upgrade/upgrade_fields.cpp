// SPDX-License-Identifier: Apache-2.0
#include "upgrade/upgrade_fields.h"

#include <charconv>

#include "upgrade/upgrade_object.h"
#include "util/text.h"

namespace camlift {

int ReadDecimal(const std::string& text, int fallback) {
  const std::string trimmed = TrimText(text);
  if (trimmed.empty()) return fallback;
  const char* begin = trimmed.data();
  if (*begin == '+') ++begin;
  int value = 0;
  const auto [end, ec] = std::from_chars(begin, trimmed.data() + trimmed.size(), value);
  if (ec != std::errc() || end != trimmed.data() + trimmed.size()) return fallback;
  return value;
}

TFieldCheck CheckUpgradeFields(const TUpgradeFields& fields) {
  TFieldCheck check;
  if (fields.series == TSeries::None) {
    check.failure_key = "IDS_NOIPCTYPE";
    check.focus = TUpgradeField::Series;
    return check;
  }
  check.user = TrimText(fields.account);
  if (check.user.empty()) {
    check.failure_key = "IDS_NOLOGINUSER";
    check.focus = TUpgradeField::Account;
    return check;
  }
  check.ip = TrimText(fields.address);
  if (check.ip.empty()) {
    check.failure_key = "IDS_NOIPADDR";
    check.focus = TUpgradeField::Address;
    return check;
  }
  // Any readable number but 0 passes: the camera decides what it listens on.
  check.port = ReadDecimal(fields.port, 0);
  if (check.port == 0) {
    check.failure_key = "IDS_NOPORT";
    check.focus = TUpgradeField::Port;
    return check;
  }
  check.password = TrimText(fields.password);
  return check;
}

}  // namespace camlift
