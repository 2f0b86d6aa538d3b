// SPDX-License-Identifier: Apache-2.0
#include "util/multipart_upload.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <random>

#include "util/base64.h"
#include "util/curl_transfer.h"

namespace camlift {
namespace {

// Quotes, CR and LF would end the header line early; they are written as browsers do.
std::string QuotedFileName(const std::string& name) {
  std::string out;
  for (const char c : name) {
    if (c == '"') {
      out += "%22";
    } else if (c == '\r') {
      out += "%0D";
    } else if (c == '\n') {
      out += "%0A";
    } else {
      out += c;
    }
  }
  return out;
}

struct BodySource {
  std::string preamble;
  std::string epilogue;
  int fd = -1;
  std::uint64_t file_size = 0;
  std::uint64_t offset = 0;  // position in the whole body
  bool read_error = false;

  std::uint64_t total() const { return preamble.size() + file_size + epilogue.size(); }
};

std::size_t ReadBody(char* out, std::size_t size, std::size_t count, void* user) {
  auto* body = static_cast<BodySource*>(user);
  const std::size_t room = size * count;
  std::size_t written = 0;
  while (written < room) {
    const std::uint64_t pos = body->offset;
    const std::uint64_t pre = body->preamble.size();
    if (pos < pre) {
      const std::size_t n =
          static_cast<std::size_t>(std::min<std::uint64_t>(pre - pos, room - written));
      std::memcpy(out + written, body->preamble.data() + pos, n);
      written += n;
      body->offset += n;
    } else if (pos < pre + body->file_size) {
      const std::uint64_t left = pre + body->file_size - pos;
      const std::size_t want =
          static_cast<std::size_t>(std::min<std::uint64_t>(left, room - written));
      const ssize_t n = ::read(body->fd, out + written, want);
      if (n <= 0) {
        // The file shrank or broke under us: stop rather than send a short part.
        body->read_error = true;
        return CURL_READFUNC_ABORT;
      }
      written += static_cast<std::size_t>(n);
      body->offset += static_cast<std::uint64_t>(n);
    } else {
      const std::uint64_t epos = pos - pre - body->file_size;
      if (epos >= body->epilogue.size()) break;
      const std::size_t n = static_cast<std::size_t>(
          std::min<std::uint64_t>(body->epilogue.size() - epos, room - written));
      std::memcpy(out + written, body->epilogue.data() + epos, n);
      written += n;
      body->offset += n;
    }
  }
  return written;
}

struct StatusLine {
  std::string line;
};

std::size_t KeepStatusLine(char* data, std::size_t size, std::size_t count, void* user) {
  auto* status = static_cast<StatusLine*>(user);
  const std::size_t bytes = size * count;
  std::string_view header(data, bytes);
  if (header.rfind("HTTP/", 0) == 0) {
    while (!header.empty() && (header.back() == '\n' || header.back() == '\r')) {
      header.remove_suffix(1);
    }
    status->line = header;
  }
  return bytes;
}

std::size_t DiscardReply(char*, std::size_t size, std::size_t count, void*) { return size * count; }

struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

std::string MultipartPreamble(const std::string& boundary, const std::string& file_name,
                              const std::string& content_type) {
  return "--" + boundary + "\r\n" +
         "Content-Transfer-Encoding: binary\r\n"
         "Content-Disposition: form-data; name=\"file\"; filename=\"" +
         QuotedFileName(file_name) + "\"\r\n" + "Content-Type: " + content_type + "\r\n\r\n";
}

std::string MultipartEpilogue(const std::string& boundary) {
  return "\r\n--" + boundary + "--\r\n";
}

std::string NewBoundary() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
  std::random_device device;
  std::mt19937_64 random(
      (static_cast<std::uint64_t>(device()) << 32) ^ device() ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  char bits[17];
  std::snprintf(bits, sizeof bits, "%016llx", static_cast<unsigned long long>(random()));
  return std::string("--------") + stamp + bits;
}

TPostResult PostMultipartFile(const TMultipartRequest& request, const TRunControl& control) {
  TPostResult result;
  FdCloser file{::open(request.file_path.c_str(), O_RDONLY | O_CLOEXEC)};
  struct stat info {};
  if (file.fd < 0 || ::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    result.file_error = true;
    result.error = "cannot open " + request.file_path;
    return result;
  }
  const std::string boundary = NewBoundary();
  BodySource body;
  body.preamble = MultipartPreamble(boundary, request.file_path, request.part_content_type);
  body.epilogue = MultipartEpilogue(boundary);
  body.fd = file.fd;
  body.file_size = static_cast<std::uint64_t>(info.st_size);

  CurlEasy easy = MakeCurlEasy();
  if (!easy) {
    result.error = "HTTP client unavailable";
    return result;
  }
  CURL* h = easy.get();
  CurlHeaders headers;
  for (const std::string& line : request.headers) AppendHeader(headers, line);
  AppendHeader(headers, "Content-Type: multipart/form-data; boundary=" + boundary);
  if (request.basic_auth) {
    AppendHeader(headers, "Authorization: Basic " +
                              Base64EncodeOneLine(request.user + ":" + request.password));
  }
  AppendHeader(headers, "Expect:");
  StatusLine status;
  curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(h, CURLOPT_POST, 1L);
  curl_easy_setopt(h, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(h, CURLOPT_READFUNCTION, ReadBody);
  curl_easy_setopt(h, CURLOPT_READDATA, &body);
  curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.total()));
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(h, CURLOPT_PROXY, "");
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, KeepStatusLine);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &status);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, DiscardReply);
  curl_easy_setopt(h, CURLOPT_UPLOAD_BUFFERSIZE, 512L * 1024);
  if (!request.user_agent.empty()) {
    curl_easy_setopt(h, CURLOPT_USERAGENT, request.user_agent.c_str());
  }
  if (request.cookies) curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");
  if (request.connect_timeout_ms > 0) {
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connect_timeout_ms));
  }
  TransferControl transfer;
  transfer.idle_timeout_ms = request.read_timeout_ms;
  transfer.upload = true;
  transfer.on_progress = [&](std::int64_t done, std::int64_t total) {
    control.Report(TProgressStage::Upload, done, total);
  };
  // No cancel flag: once bytes go to the camera the upload runs to its end.
  const TransferResult outcome = PerformTransfer(h, transfer);
  result.status = outcome.status;
  if (body.read_error) {
    result.file_error = true;
    result.error = "cannot read " + request.file_path;
    return result;
  }
  if (!outcome.ok()) {
    result.error = outcome.error;
    return result;
  }
  if (outcome.status < 200 || outcome.status >= 300) {
    result.error = status.line.empty() ? "HTTP " + std::to_string(outcome.status) : status.line;
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace camlift
