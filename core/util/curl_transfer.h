// SPDX-License-Identifier: Apache-2.0
// RAII for libcurl handles and one transfer loop shared by every HTTP exchange of Camlift:
// a receive time-out with millisecond precision (no bytes for this long = failure), progress
// reports and a cancel flag, none of which libcurl's easy interface gives exactly.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/stop_token.h"

namespace camlift {

struct CurlEasyDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct CurlSlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlHeaders = std::unique_ptr<curl_slist, CurlSlistDeleter>;

// A new easy handle with libcurl initialised once for the process, signals off (threads), and
// only http and https allowed, also for redirects.
CurlEasy MakeCurlEasy();
// Appends one header line; returns false when libcurl could not allocate it.
bool AppendHeader(CurlHeaders& list, const std::string& line);

struct TransferControl {
  int idle_timeout_ms = 0;  // 0: no limit; else no byte moved for this long ends the transfer
  TStopToken cancel;
  // (bytes done, bytes expected or 0) of the download, or of the upload when upload is true.
  std::function<void(std::int64_t, std::int64_t)> on_progress;
  bool upload = false;
};

struct TransferResult {
  CURLcode code = CURLE_OK;
  bool idle_timeout = false;
  bool cancelled = false;
  long status = 0;    // HTTP status of the last response, 0 when none arrived
  std::string error;  // libcurl's message for a failed transfer
  bool ok() const { return code == CURLE_OK && !idle_timeout && !cancelled; }
};

TransferResult PerformTransfer(CURL* easy, const TransferControl& control);

}  // namespace camlift
