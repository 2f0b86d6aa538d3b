// SPDX-License-Identifier: Apache-2.0
// The firmware POST every camera series but K uses: one multipart/form-data body with one file
// part, framed here byte for byte (libcurl's MIME API reorders part headers and escapes quotes in
// file names, and the cameras parse the exact layout), streamed from disk with an exact
// Content-Length and without "Expect: 100-continue", which small camera web servers mishandle.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/run_control.h"

namespace camlift {

struct TMultipartRequest {
  std::string url;
  std::string file_path;             // the file streamed as the part's content
  std::string part_content_type;     // "application/octet-stream" or "application/x-zip-compressed"
  std::vector<std::string> headers;  // extra request header lines, in this order
  std::string user_agent;
  bool basic_auth = false;  // send "Authorization: Basic" with the request itself
  std::string user, password;
  bool cookies = false;
  int connect_timeout_ms = 0;
  int read_timeout_ms = 0;  // no byte moving for this long ends the exchange
};

struct TPostResult {
  bool ok = false;          // a 2xx reply arrived
  bool file_error = false;  // the file could not be opened or read
  std::string error;        // the status line of a non-2xx reply, else the transport's message
  long status = 0;
};

// The part header block and the closing delimiter, exposed for tests.
std::string MultipartPreamble(const std::string& boundary, const std::string& file_name,
                              const std::string& content_type);
std::string MultipartEpilogue(const std::string& boundary);
// A boundary made from the date and time and random bits.
std::string NewBoundary();

TPostResult PostMultipartFile(const TMultipartRequest& request,
                              const TRunControl& control = TRunControl::None());

}  // namespace camlift
