// SPDX-License-Identifier: Apache-2.0
// TUpgradeOpt: the file steps of an upgrade — fetch an archive, check its MD5, unpack it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/run_control.h"

namespace camlift {

struct TRepositoryTrust;
struct TRepositoryProblem;

// What a repository download fetches; it sets the transfer's bound. Every kind must keep a
// minimum average rate once bytes flow (kMinRepositoryRate over each DownloadRateWindow); an
// archive may take DownloadLimitBase and what its announced size (else its cap) takes at that
// rate, at most DownloadLimitMax; a catalogue CatalogueFetchLimit, a signature
// SignatureFetchLimit.
enum class TTransferKind { Archive, Catalogue, Signature };

class TUpgradeOpt {
 public:
  TUpgradeOpt() = delete;

  // The largest firmware archive fetched: camera firmware is megabytes, and a repository that
  // keeps sending must not fill the disk or keep the run going for ever.
  static constexpr std::uint64_t kMaxArchiveBytes = 256ull << 20;
  // The slowest repository transfer that is still taken for one, in bytes a second: a 8 MiB
  // firmware then arrives within ten minutes.
  static constexpr std::uint64_t kMinRepositoryRate = 16 * 1024;

  // GET url into path (whatever was there is removed, the file is created anew, never through
  // a symbolic link). No redirects; an error status, a connect time-out, a stall without
  // progress, a transfer beyond its bound (kind), or a body of more than max_bytes gives false
  // and leaves what arrived (at most max_bytes). https is always verified (certificate and host
  // name); trust may name the CA file to verify with. problem, when given, learns a failed
  // certificate check, a redirect from https to http or a transfer ended as too slow (its key),
  // and for every failure its status and reason.
  static bool DownloadFile(const std::string& url, const std::string& path,
                           const TRunControl& control = TRunControl::None(),
                           std::uint64_t max_bytes = kMaxArchiveBytes,
                           const TRepositoryTrust* trust = nullptr,
                           TRepositoryProblem* problem = nullptr,
                           TTransferKind kind = TTransferKind::Archive);
  // True when the MD5 of the file (an unreadable file counts as empty) equals expected,
  // ignoring case.
  static bool CheckFileMD5(const std::string& path, const std::string& expected);
  // Unpacks every entry of the archive into the folder of target (created when missing) and
  // reports whether target exists afterwards. An archive with an unsafe or broken entry is
  // refused whole: nothing is written outside the folder and nothing lands under a final name.
  static bool UnpackArchive(const std::string& archive, const std::string& target);
};

}  // namespace camlift
