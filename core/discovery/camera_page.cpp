// SPDX-License-Identifier: Apache-2.0
#include "discovery/camera_page.h"

#include "util/percent_encoding.h"
#include "util/text.h"

namespace camlift {
namespace {

std::string Encoded(std::string_view value, TAccountText form) {
  return PercentEncode(form == TAccountText::Trimmed ? TrimText(value) : std::string(value));
}

}  // namespace

std::string UserPwdQuery(std::string_view user, std::string_view password, TAccountText form) {
  return "user=" + Encoded(user, form) + "&pwd=" + Encoded(password, form);
}

std::string LoginQuery(std::string_view user, std::string_view password, TAccountText form) {
  return "loginuse=" + Encoded(user, form) + "&loginpas=" + Encoded(password, form);
}

bool PageRefusesAccount(std::string_view page) {
  return page.find("Auth Failed") != std::string_view::npos;
}

bool SeriesRRefusesAccount(long status, std::string_view page) {
  return status == 401 || PageRefusesAccount(page);
}

}  // namespace camlift
