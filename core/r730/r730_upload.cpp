// SPDX-License-Identifier: Apache-2.0
// The R730 client object itself and its two firmware uploads through port 8600.
#include <memory>

#include "discovery/camera_page.h"
#include "discovery/search_datagrams.h"
#include "platform/run_control.h"
#include "platform/timing.h"
#include "r730/r730_pages.h"
#include "r730/r730_params.h"
#include "r730/r730_series.h"
#include "util/multipart_upload.h"
#include "util/tools.h"

namespace camlift {
namespace {

constexpr const char* kFirstVersionOn8600 = "84.2.0.121";

}  // namespace

TR730Series::TR730Series() = default;
TR730Series::~TR730Series() = default;

void TR730Series::SetDevice(const std::optional<TDevInfo>& record) {
  const bool same_camera = device_ && record && device_->DevID == record->DevID &&
                           device_->IPAddr == record->IPAddr && device_->DevPort == record->DevPort;
  if (!same_camera) {
    wifi_params_.reset();
    ddns_params_.reset();
  }
  device_ = record;
}

IR730Series& R730Client() {
  static TR730Series client;
  return client;
}

std::string TR730Series::UploadBase(const std::string& base_url, const std::string& version,
                                    const std::string& host) {
  // Byte-wise text order, as the cameras' own tools compare versions: "9.0.0.1" counts as higher.
  if (version < kFirstVersionOn8600) return base_url;
  return "http://" + host + ":" + std::to_string(k8600Port);
}

bool TR730Series::UploadSystemFirmware(const std::string& base_url, const std::string& user,
                                       const std::string& password, const std::string& file_path,
                                       const TRunControl& control) {
  return UploadFirmware("/upgrade_firmware.cgi", base_url, user, password, file_path, control);
}

bool TR730Series::UploadUIFirmware(const std::string& base_url, const std::string& user,
                                   const std::string& password, const std::string& file_path,
                                   const TRunControl& control) {
  return UploadFirmware("/upgrade_htmls.cgi", base_url, user, password, file_path, control);
}

bool TR730Series::UploadFirmware(const std::string& page, const std::string& base_url,
                                 const std::string& user, const std::string& password,
                                 const std::string& file_path, const TRunControl& control) {
  std::string version, host;
  if (device_) {
    version = device_->Version;
    host = device_->IPAddr;
  } else {
    std::string text;
    if (TTools::HttpGetText(
            base_url + "/get_Status.cgi?" + UserPwdQuery(user, password, TAccountText::AsTyped),
            text, Millis(Wait::R730StatusRead), "", "")) {
      version = StatusPageSysVer(text);
    }
    host = base_url;
    if (const std::size_t scheme = host.find("//"); scheme != std::string::npos) {
      host.erase(0, scheme + 2);
    }
    if (const std::size_t colon = host.find(':'); colon != std::string::npos) host.resize(colon);
  }
  TMultipartRequest request;
  request.url = UploadBase(base_url, version, host) + page + "?" +
                LoginQuery(user, password, TAccountText::AsTyped);
  request.file_path = file_path;
  request.part_content_type = "application/x-zip-compressed";
  request.headers = {kUploadAcceptAny, kUploadAcceptEncoding};
  request.user_agent = kUploadUserAgent;
  // The account travels in the query; the credentials are never sent as a header.
  request.cookies = true;
  request.connect_timeout_ms = Millis(Wait::UploadConnect);
  request.read_timeout_ms = Millis(Wait::UploadRead);
  return PostMultipartFile(request, control).ok;
}

}  // namespace camlift
