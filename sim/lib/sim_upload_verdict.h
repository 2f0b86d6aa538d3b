// SPDX-License-Identifier: Apache-2.0
// What a simulated camera answers to a firmware upload, decided from what it received and how it
// is set up, without sockets: the upload CGI reads the body (sim_camera.cpp), asks JudgeUpload,
// then writes the answer, the record line and, for an accepted file, starts the restart.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim_camera.h"
#include "sim_firmware.h"

namespace camlift::sim {

// What the upload CGI took from the request once the body was read.
struct TUploadReceipt {
  bool read_all = false;       // the body arrived to its end
  std::string content_type;    // as sent
  bool has_boundary = false;   // Content-Type is multipart/form-data with a boundary
  bool framing_ok = false;     // the multipart body was well formed to its end
  std::string framing_error;   // why it was not
  bool has_file_part = false;  // a part named "file" came
  bool account_ok = false;     // the request's account as the camera checks it (faults applied)
  std::optional<TSimFirmwareInfo> firmware;  // of the file part's data, when it is one
};

struct TUploadVerdict {
  int status = 0;
  std::string note;                  // the record line's "note" (empty: none)
  std::optional<std::string> error;  // the record's "upload"."error"
  bool firmware_checked = false;     // the file was looked at: the record names its firmware
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::string content_type;
  bool restart = false;  // accepted: the camera restarts with the firmware after this answer
};

// basic_account: the camera asks for Basic authentication (its refusal carries the challenge).
TUploadVerdict JudgeUpload(const TUploadReceipt& received, const TCameraConfig& camera,
                           TFirmwareKind cgi_kind, bool basic_account);

// The page of a 401 answer (also the camera's pages' refusal).
extern const char* const kUnauthorizedPage;

}  // namespace camlift::sim
