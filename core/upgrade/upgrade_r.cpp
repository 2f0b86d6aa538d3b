// SPDX-License-Identifier: Apache-2.0
#include "upgrade/upgrade_r.h"

#include <fstream>

#include "discovery/camera_page.h"
#include "discovery/search_datagrams.h"
#include "i18n/str_res.h"
#include "platform/timing.h"
#include "r730/r730_series.h"
#include "util/text.h"
#include "util/tools.h"

namespace camlift {
namespace {

bool FetchWithAccount(const TUpgradeObject& self, const std::string& path, std::string& page,
                      long* status = nullptr) {
  return TTools::HttpGetText(self.CameraUrl(path + AccountQuery(self)), page,
                             Millis(Wait::CameraPageRead), "", "", status);
}

// Series R pages quote every value in double quotes.
std::string QuotedOrEmpty(const std::string& page, const std::string& key) {
  std::string value;
  return QuotedValueAfter(page, key, '"', value) ? value : std::string();
}

bool ReadOemWithAccount(TUpgradeObject& self, std::string& oem_text, bool& refused) {
  std::string page;
  // A wrong account is answered with status 401, or the text "Auth Failed" instead of the OEM
  // text.
  long status = 0;
  const bool answered = FetchWithAccount(self, "/oem.txt", page, &status);
  refused = answered && SeriesRRefusesAccount(status, page);
  const bool ok = answered && !page.empty() && !refused;
  oem_text = ok ? page : std::string();
  return ok;
}

bool UploadThroughClient(TUpgradeObject& self, bool system, std::string& message) {
  const std::string base = "http://" + self.IPAddress() + ":" + std::to_string(k8600Port);
  IR730Series& client = R730Client();
  const std::string path = TrimText(self.LocalFilePath());
  // A firmware file that cannot be read is said as such, as for series M and P.
  if (!std::ifstream(path, std::ios::binary)) {
    message = GetLangStr("IDS_UPGRADEFILEERR");
    return false;
  }
  const bool ok = system ? client.UploadSystemFirmware(base, self.UserName(), self.Password(), path,
                                                       self.Control())
                         : client.UploadUIFirmware(base, self.UserName(), self.Password(), path,
                                                   self.Control());
  message = GetLangStr(ok ? "IDS_UPGRADESUCC" : "IDS_UPGRADEFAIL");
  return ok;
}

}  // namespace

std::string AccountQuery(const TUpgradeObject& upgrader) {
  return "?" + UserPwdQuery(upgrader.UserName(), upgrader.Password());
}

bool TRUIUpgrade::ReadOem() { return ReadOemWithAccount(*this, oem_text_, account_refused_); }

bool TRUIUpgrade::ReadCurrentVersion() {
  current_version_.clear();
  std::string page;
  if (!FetchWithAccount(*this, "/appver.js", page)) return false;
  model_ = QuotedOrEmpty(page, "app_model");
  std::string version;
  if (!QuotedValueAfter(page, "app_ver", '"', version)) return false;
  current_version_ = version;
  return true;
}

bool TRUIUpgrade::Upload(std::string& message) {
  return UploadThroughClient(*this, false, message);
}

bool TRSYSUpgrade::ReadOem() { return ReadOemWithAccount(*this, oem_text_, account_refused_); }

bool TRSYSUpgrade::ReadCurrentVersion() {
  current_version_.clear();
  std::string page;
  if (FetchWithAccount(*this, "/appver.js", page)) model_ = QuotedOrEmpty(page, "app_model");
  if (!FetchWithAccount(*this, "/get_status.cgi", page)) return false;
  std::string version;
  if (!QuotedValueAfter(page, "sys_ver", '"', version)) return false;
  current_version_ = version;
  return true;
}

bool TRSYSUpgrade::Upload(std::string& message) {
  return UploadThroughClient(*this, true, message);
}

}  // namespace camlift
