// SPDX-License-Identifier: Apache-2.0
#include "sim_upload_verdict.h"

namespace camlift::sim {

const char* const kUnauthorizedPage =
    "<html><head><title>401 Unauthorized</title></head>"
    "<body><h1>401 Unauthorized</h1></body></html>\n";

TUploadVerdict JudgeUpload(const TUploadReceipt& received, const TCameraConfig& camera,
                           TFirmwareKind cgi_kind, bool basic_account) {
  TUploadVerdict v;
  if (!received.read_all) {
    v.status = 400;
    v.note = "the body could not be read to its end";
    return v;
  }
  // The body's faults are recorded even when the account decides the answer.
  if (!received.has_boundary) {
    v.error = "Content-Type is not multipart/form-data with a boundary: " + received.content_type;
  } else if (!received.framing_ok) {
    v.error = received.framing_error;
  } else if (!received.has_file_part) {
    v.error = "no part named \"file\"";
  }
  // The account is checked after the whole body has been read, so that the client always gets
  // to read the answer.
  if (!received.account_ok) {
    v.status = 401;
    v.note = "wrong account";
    if (basic_account) v.headers.emplace_back("WWW-Authenticate", "Basic realm=\"ipcamera\"");
    v.body = kUnauthorizedPage;
    v.content_type = "text/html";
    return v;
  }
  if (v.error) {
    v.status = 400;
    v.note = "malformed upload body";
    v.body = "<html><body>Upgrade failed: bad request</body></html>\n";
    v.content_type = "text/html";
    return v;
  }
  if (camera.has(TCameraFault::RedirectUpload)) {
    v.status = 302;
    v.note = "fault redirect-upload";
    v.headers.emplace_back("Location", "/login.htm");
    v.body = "<html><body>Moved</body></html>\n";
    v.content_type = "text/html";
    return v;
  }
  v.firmware_checked = true;
  const auto& info = received.firmware;
  if (!info || info->series != camera.series || info->kind != cgi_kind) {
    v.status = 400;
    v.note = info ? "firmware of another series or kind" : "not a firmware file of this camera";
    v.error = v.note;
    v.body = "<html><body>Upgrade failed: firmware check failed</body></html>\n";
    v.content_type = "text/html";
    return v;
  }
  v.status = 200;
  v.restart = true;
  v.body = "<html><body>Upgrade succeeded. The camera restarts now.</body></html>\n";
  v.content_type = "text/html";
  return v;
}

}  // namespace camlift::sim
