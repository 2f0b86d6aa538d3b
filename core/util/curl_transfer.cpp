// SPDX-License-Identifier: Apache-2.0
#include "util/curl_transfer.h"

#include <chrono>
#include <mutex>

namespace camlift {
namespace {

struct CurlMultiDeleter {
  void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

constexpr int kPollSliceMs = 20;

}  // namespace

CurlEasy MakeCurlEasy() {
  GlobalInit();
  CurlEasy easy(curl_easy_init());
  if (easy) {
    curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy.get(), CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  }
  return easy;
}

bool AppendHeader(CurlHeaders& list, const std::string& line) {
  curl_slist* grown = curl_slist_append(list.get(), line.c_str());
  if (!grown) return false;
  list.release();
  list.reset(grown);
  return true;
}

TransferResult PerformTransfer(CURL* easy, const TransferControl& control) {
  using Clock = std::chrono::steady_clock;
  TransferResult result;
  std::unique_ptr<CURLM, CurlMultiDeleter> multi(curl_multi_init());
  if (!multi || curl_multi_add_handle(multi.get(), easy) != CURLM_OK) {
    result.code = CURLE_OUT_OF_MEMORY;
    result.error = curl_easy_strerror(result.code);
    return result;
  }
  curl_off_t last_down = -1, last_up = -1;
  auto last_activity = Clock::now();
  int running = 1;
  bool finished = false;
  while (!finished) {
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
      result.code = CURLE_RECV_ERROR;
      break;
    }
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi.get(), &queued)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) {
        result.code = msg->data.result;
        finished = true;
      }
    }
    if (finished || running == 0) break;

    curl_off_t down = 0, up = 0, down_total = 0, up_total = 0;
    curl_easy_getinfo(easy, CURLINFO_SIZE_DOWNLOAD_T, &down);
    curl_easy_getinfo(easy, CURLINFO_SIZE_UPLOAD_T, &up);
    const auto now = Clock::now();
    if (down != last_down || up != last_up) {
      last_activity = now;
      last_down = down;
      last_up = up;
      if (control.on_progress) {
        curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &down_total);
        curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_UPLOAD_T, &up_total);
        if (control.upload) {
          control.on_progress(up, up_total > 0 ? up_total : 0);
        } else {
          control.on_progress(down, down_total > 0 ? down_total : 0);
        }
      }
    }
    if (control.cancel.Requested()) {
      result.cancelled = true;
      break;
    }
    if (control.idle_timeout_ms > 0 &&
        now - last_activity > std::chrono::milliseconds(control.idle_timeout_ms)) {
      result.idle_timeout = true;
      result.code = CURLE_OPERATION_TIMEDOUT;
      break;
    }
    curl_multi_poll(multi.get(), nullptr, 0, kPollSliceMs, nullptr);
  }
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &result.status);
  curl_multi_remove_handle(multi.get(), easy);
  if (result.cancelled) {
    result.error = "cancelled";
  } else if (result.idle_timeout) {
    result.error = "Timeout was reached";
  } else if (result.code != CURLE_OK) {
    result.error = curl_easy_strerror(result.code);
  }
  return result;
}

}  // namespace camlift
