// SPDX-License-Identifier: Apache-2.0
#include "upgrade/upgrade_mp.h"

#include <fstream>

#include "discovery/camera_page.h"
#include "i18n/str_res.h"
#include "platform/timing.h"
#include "util/multipart_upload.h"
#include "util/text.h"
#include "util/tools.h"

namespace camlift {
namespace {

// The first four bytes of the firmware; fewer than four (or none at all) is a broken file.
bool ReadHead(const std::string& path, std::array<std::uint8_t, 4>& head) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.read(reinterpret_cast<char*>(head.data()), 4);
  return in.gcount() == 4;
}

bool FinishUpload(const TPostResult& post, std::string& message) {
  if (post.ok) {
    message = GetLangStr("IDS_UPGRADESUCC");
    return true;
  }
  message = post.file_error ? GetLangStr("IDS_UPGRADEFILEERR")
                            : GetLangStr("IDS_UPGRADEFAIL") + post.error;
  return false;
}

bool UploadSeriesM(TUpgradeObject& self, const std::string& page,
                   const std::array<std::uint8_t, 4>& signature, std::string& message) {
  const std::string url = UploadHostUrl(self) + page + "?" +
                          UserPwdQuery(self.UserName(), self.Password()) + "&next_url=reboot.htm";
  std::array<std::uint8_t, 4> head{};
  if (!ReadHead(self.LocalFilePath(), head) || head != signature) {
    message = GetLangStr("IDS_UPGRADEFILEERR");
    return false;
  }
  TMultipartRequest request;
  request.url = url;
  request.file_path = self.LocalFilePath();
  request.part_content_type = "application/octet-stream";
  request.headers = {"Accept: text/html, */*"};
  request.user_agent = kUploadUserAgent;
  // The camera's own client sets no time-outs; a silent camera must still end the run.
  request.connect_timeout_ms = Millis(Wait::UploadConnect);
  request.read_timeout_ms = Millis(Wait::UploadRead);
  return FinishUpload(PostMultipartFile(request, self.Control()), message);
}

bool UploadSeriesP(TUpgradeObject& self, const std::string& page, std::string& message) {
  const std::string path = TrimText(self.LocalFilePath());
  std::array<std::uint8_t, 4> head{};
  if (!ReadHead(path, head)) {
    message = GetLangStr("IDS_UPGRADEFILEERR");
    return false;
  }
  TMultipartRequest request;
  request.url = UploadHostUrl(self) + page;
  request.file_path = path;
  request.part_content_type = "application/x-zip-compressed";
  request.headers = {kUploadAcceptAny, kUploadAcceptEncoding};
  request.user_agent = kUploadUserAgent;
  request.basic_auth = true;
  request.user = TrimText(self.UserName());
  request.password = TrimText(self.Password());
  request.cookies = true;
  request.connect_timeout_ms = Millis(Wait::UploadConnect);
  request.read_timeout_ms = Millis(Wait::UploadRead);
  return FinishUpload(PostMultipartFile(request, self.Control()), message);
}

}  // namespace

bool ReadStatusPageVersion(const TUpgradeObject& upgrader, const std::string& key, char quote,
                           std::string& version) {
  std::string page;
  if (!TTools::HttpGetText(upgrader.CameraUrl("/get_status.cgi"), page,
                           Millis(Wait::CameraPageRead), "", "")) {
    return false;
  }
  return QuotedValueAfter(page, key, quote, version);
}

std::string UploadHostUrl(const TUpgradeObject& upgrader) {
  std::string url = "http://" + upgrader.IPAddress();
  if (upgrader.Port() != 80) url += ":" + std::to_string(upgrader.Port());
  return url;
}

bool TMUIUpgrade::ReadCurrentVersion() {
  std::string version;
  if (!ReadStatusPageVersion(*this, "app_ver", '\'', version)) return false;
  current_version_ = version;
  return true;
}

bool TMUIUpgrade::Upload(std::string& message) {
  return UploadSeriesM(*this, "/upgrade_htmls.cgi", kMUISignature, message);
}

bool TMSYSUpgrade::ReadCurrentVersion() {
  std::string version;
  if (!ReadStatusPageVersion(*this, "sys_ver", '\'', version)) return false;
  current_version_ = version;
  return true;
}

bool TMSYSUpgrade::Upload(std::string& message) {
  return UploadSeriesM(*this, "/upgrade_firmware.cgi", kMSysSignature, message);
}

bool TPUIUpgrade::Upload(std::string& message) {
  return UploadSeriesP(*this, "/cgi-bin/upgrade_htmls.cgi?next_url=reboot.htm", message);
}

bool TPSYSUpgrade::ReadCurrentVersion() {
  const bool inherited = TSysUpgradeObject::ReadCurrentVersion();
  std::string version;
  if (ReadStatusPageVersion(*this, "sys_ver", '"', version)) {
    current_version_ = version;
    return true;
  }
  return inherited;
}

bool TPSYSUpgrade::Upload(std::string& message) {
  return UploadSeriesP(*this, "/cgi-bin/upgrade_firmware.cgi", message);
}

}  // namespace camlift
