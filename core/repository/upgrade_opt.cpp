// SPDX-License-Identifier: Apache-2.0
#include "repository/upgrade_opt.h"

#include <openssl/x509_vfy.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/timing.h"
#include "repository/repository_trust.h"
#include "repository/zip_extract.h"
#include "util/curl_transfer.h"
#include "util/md5.h"

namespace camlift {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

struct FileSink {
  std::FILE* file;
  std::uint64_t room;  // bytes the file may still take
  bool full = false;
  int write_errno = 0;  // why the disk did not take the bytes (ENOSPC: disk full)
};

std::size_t WriteToFile(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<FileSink*>(user);
  const std::size_t bytes = size * count;
  if (bytes > sink->room) {
    std::fwrite(data, 1, static_cast<std::size_t>(sink->room), sink->file);
    sink->room = 0;
    sink->full = true;
    return 0;  // stops the transfer
  }
  sink->room -= bytes;
  errno = 0;
  const std::size_t written = std::fwrite(data, 1, bytes, sink->file);
  if (written != bytes && sink->write_errno == 0) sink->write_errno = errno ? errno : EIO;
  return written;
}

// Seconds as people read them: "30", or "1.5" for a scaled wait.
std::string SecondsText(int ms) {
  if (ms % 1000 == 0) return std::to_string(ms / 1000);
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", ms / 1000.0);
  return text;
}

// Why a download that did not end well failed, for the line after the failure line.
TRepositoryProblem DownloadProblemOf(const std::string& url, const std::string& path,
                                     const TransferResult& result, const FileSink& sink,
                                     bool flushed, std::uint64_t max_bytes) {
  if (result.cancelled) return {};
  if (sink.write_errno != 0 || !flushed) {
    const int error = sink.write_errno != 0 ? sink.write_errno : EIO;
    return {"IDS_DLWRITE", "", {std::strerror(error), path}};
  }
  if (sink.full) return {"IDS_DLTOOLARGE", "", {std::to_string(max_bytes)}};
  // A trickle that never trips the stall timer, ended by the transfer's rate or overall limit.
  if (result.too_slow) return {"IDS_REPOTOOSLOW", url + " (" + result.error + ")"};
  if (result.idle_timeout) {
    return {"IDS_DLSTALLED", "", {SecondsText(Millis(Wait::DownloadStall)), url}};
  }
  if (result.status != 0 && (result.status < 200 || result.status >= 300)) {
    return {"IDS_DLHTTP", "", {std::to_string(result.status), url}};
  }
  if (!result.ok()) {
    return {"IDS_DLTRANSFER",
            "",
            {result.error.empty() ? curl_easy_strerror(result.code) : result.error, url}};
  }
  return {};
}

// Verification of peer and host name are libcurl's defaults; they are set here all the same so
// that no other setting can ever have switched them off. An https repository is never left for
// plain http, not even by a redirect (which DownloadFile does not follow anyway).
void ApplyRepositoryTls(CURL* h, bool https, const TRepositoryTrust* trust) {
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  if (https) {
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  }
  if (trust && !trust->ca_file.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, trust->ca_file.c_str());
}

std::string HostOf(const char* url) {
  std::string host;
  CURLU* parsed = curl_url();
  char* part = nullptr;
  if (parsed && url && curl_url_set(parsed, CURLUPART_URL, url, 0) == CURLUE_OK &&
      curl_url_get(parsed, CURLUPART_HOST, &part, 0) == CURLUE_OK) {
    host = part;
  }
  curl_free(part);
  curl_url_cleanup(parsed);
  return host;
}

// The reason of a refused certificate comes from what the handshake decided: libcurl's result
// code and OpenSSL's verification result. curl's error buffer is not used for it, as a reset
// during the TLS shutdown that follows the refusal overwrites it with "Send failure".
// libcurl marks the result "unspecified" (1) before its own host name check, which ends the
// handshake early when the certificate is for another name.
std::string CertificateProblemText(CURLcode code, long verify_result, const std::string& host) {
  if (code == CURLE_PEER_FAILED_VERIFICATION && verify_result != X509_V_OK &&
      verify_result != X509_V_ERR_UNSPECIFIED) {
    return std::string("SSL certificate problem: ") + X509_verify_cert_error_string(verify_result);
  }
  if (code == CURLE_PEER_FAILED_VERIFICATION) {
    return "the certificate does not name the host " + host;
  }
  return curl_easy_strerror(code);
}

TPaceRule PaceOf(TTransferKind kind, std::uint64_t max_bytes) {
  TPaceRule rule;
  rule.min_rate = TUpgradeOpt::kMinRepositoryRate;
  rule.window_ms = Millis(Wait::DownloadRateWindow);
  switch (kind) {
    case TTransferKind::Archive:
      rule.limit_ms = Millis(Wait::DownloadLimitBase);
      rule.allowance_rate = TUpgradeOpt::kMinRepositoryRate;
      rule.assumed_bytes = max_bytes;
      rule.max_limit_ms = Millis(Wait::DownloadLimitMax);
      rule.time_scale = TimeScale();
      break;
    case TTransferKind::Catalogue:
      rule.limit_ms = Millis(Wait::CatalogueFetchLimit);
      break;
    case TTransferKind::Signature:
      rule.limit_ms = Millis(Wait::SignatureFetchLimit);
      break;
  }
  return rule;
}

// The reason of a failed transfer for a log line.
std::string FailureText(const TransferResult& result, const FileSink& sink,
                        std::uint64_t max_bytes) {
  if (sink.full) return "larger than " + std::to_string(max_bytes) + " bytes";
  if (result.ok() && (result.status < 200 || result.status >= 300)) {
    return "HTTP " + std::to_string(result.status);
  }
  if (result.code == CURLE_HTTP_RETURNED_ERROR && result.status > 0) {
    return "HTTP " + std::to_string(result.status);
  }
  return result.error.empty() ? std::string("the transfer failed") : result.error;
}

TRepositoryProblem RepositoryProblemOf(CURL* h, bool https, const TransferResult& result) {
  switch (result.code) {
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_ISSUER_ERROR: {
      long verify_result = X509_V_OK;
      curl_easy_getinfo(h, CURLINFO_SSL_VERIFYRESULT, &verify_result);
      char* url = nullptr;
      curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &url);
      return {"IDS_REPOTLSERR", CertificateProblemText(result.code, verify_result, HostOf(url))};
    }
    default:
      break;
  }
  if (https && result.status >= 300 && result.status < 400) {
    char* location = nullptr;
    curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &location);
    std::string target = location ? location : "";
    for (char& c : target) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (target.rfind("http://", 0) == 0) {
      return {"IDS_REPOREDIRECT", location};
    }
  }
  return {};
}

}  // namespace

bool TUpgradeOpt::DownloadFile(const std::string& url, const std::string& path,
                               const TRunControl& control, std::uint64_t max_bytes,
                               const TRepositoryTrust* trust, TRepositoryProblem* problem,
                               TTransferKind kind) {
  // A new file of our own: whatever lies at path (a symbolic link planted there, a file left by
  // a crash) is removed, and an exclusive create never writes through a link made meanwhile.
  std::error_code ec;
  std::filesystem::remove(path, ec);
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wbx"));
  if (!file) {
    // Not the repository's fault: the work folder does not take the file.
    if (problem) {
      const std::string reason = std::strerror(errno);
      *problem = {"IDS_DLWRITE", "", {reason, path}};
      problem->failure = "cannot write " + path + ": " + reason;
    }
    return false;
  }
  CurlEasy easy = MakeCurlEasy();
  if (!easy) return false;
  CURL* h = easy.get();
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(Millis(Wait::DownloadConnect)));
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteToFile);
  FileSink sink{file.get(), max_bytes};
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(h, CURLOPT_BUFFERSIZE, 256L * 1024);
  const bool https = url.rfind("https://", 0) == 0;
  ApplyRepositoryTls(h, https, trust);
  TransferControl transfer;
  transfer.idle_timeout_ms = Millis(Wait::DownloadStall);
  transfer.pace = PaceOf(kind, max_bytes);
  transfer.cancel = control.Stop();
  transfer.on_progress = [&](std::int64_t done, std::int64_t total) {
    control.Report(TProgressStage::Download, done, total);
  };
  const TransferResult result = PerformTransfer(h, transfer);
  const bool flushed = std::fflush(file.get()) == 0;
  if (problem) *problem = RepositoryProblemOf(h, https, result);
  // A redirect is not followed, and its body is not the file that was asked for.
  const bool ok =
      result.ok() && !sink.full && flushed && result.status >= 200 && result.status < 300;
  if (!ok && problem) {
    if (problem->key.empty()) {
      *problem = DownloadProblemOf(url, path, result, sink, flushed, max_bytes);
    }
    problem->status = result.status;
    problem->failure = flushed ? FailureText(result, sink, max_bytes) : "cannot write " + path;
  }
  return ok;
}

bool TUpgradeOpt::CheckFileMD5(const std::string& path, const std::string& expected) {
  const std::string digest = FileMd5Hex(path).value_or(Md5Hex(""));
  std::string wanted = expected;
  for (char& c : wanted) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return digest == wanted;
}

bool TUpgradeOpt::UnpackArchive(const std::string& archive, const std::string& target) {
  const std::filesystem::path destination = std::filesystem::path(target).parent_path();
  std::error_code ec;
  std::filesystem::create_directories(destination, ec);
  std::string error;
  if (!ExtractZipSafely(archive, destination.string(), error)) return false;
  return std::filesystem::is_regular_file(target, ec);
}

}  // namespace camlift
