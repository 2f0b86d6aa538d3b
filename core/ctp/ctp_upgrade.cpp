// SPDX-License-Identifier: Apache-2.0
#include "ctp/ctp_upgrade.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>

#include "ctp/ctp_session.h"
#include "i18n/str_res.h"
#include "platform/timing.h"
#include "util/multipart_upload.h"
#include "util/transfer_pace.h"

namespace camlift {
namespace {

bool Fail(std::string& message, const char* key) {
  message = GetLangStr(key);
  return false;
}

// Session A: login and leave the current mode, so that the camera opens its upgrade mode.
bool PrepareCamera(const std::string& ip, int port, const std::string& user,
                   const std::string& password, std::string& message, const TRunControl& control) {
  TSocketThread session(ip, port, control);
  if (session.Connect() != TCtpConnect::Ok) return Fail(message, "IDS_IPCCONNETERR");
  if (session.Login(user, password) != TCtpCode::Ok) return Fail(message, "IDS_LOGINERROR");
  if (session.ExitMode() != TCtpCode::Ok) return Fail(message, "IDS_EXITIPCERR");
  if (session.Close() != TCtpClose::Ok) return Fail(message, "IDS_CLOSEIPCERROR");
  return true;
}

enum class Transfer { Sent, EntryFailed, NotInUpgradeMode };

// Session B: the probe, then every entry. The session is closed on every path, followed by the
// pause the camera needs before it starts writing.
Transfer SendPackage(const std::string& ip, int port, TPk2File& package, std::int32_t count,
                     const TRunControl& control) {
  Transfer result = Transfer::EntryFailed;
  {
    TSocketThread session(ip, port, control);
    if (session.Connect() != TCtpConnect::Ok || session.Probe() != TCtpCode::Ok) {
      result = Transfer::NotInUpgradeMode;
    } else {
      // The whole package within the time an upload of its size may take: a camera that
      // answers every block just inside the reply time-out would otherwise hold the run for
      // hours.
      TPaceRule rule;
      rule.limit_ms = Millis(Wait::UploadLimitBase);
      rule.allowance_rate = TMultipartRequest::kMinUploadRate;
      rule.assumed_bytes = static_cast<std::uint64_t>(std::max<std::int64_t>(0, package.Size()));
      rule.time_scale = TimeScale();
      session.SetTransferDeadline(std::chrono::steady_clock::now() +
                                  std::chrono::milliseconds(TTransferPace(rule).LimitMs(0)));
      std::int32_t left = count;
      // A package whose file ends before its header's count of entries is not all sent, the
      // same as one whose entry the camera refused.
      while (left > 0 && session.SendEntry(package).outcome == TEntryOutcome::Accepted) --left;
      // An empty package counts as sent; a negative count does not.
      if (left == 0) result = Transfer::Sent;
    }
    session.Close();
    control.Sleep(Wait::CtpSessionPause);
  }
  package.Close();
  return result;
}

}  // namespace

bool UpgradeByCtp(const std::string& file_name, const std::string& ip, int port,
                  const std::string& user, const std::string& password, std::string& message,
                  const TRunControl& control) {
  if (!TSocketThread::CheckPackage(file_name)) return Fail(message, "IDS_UPGRADEFILEFAIL");
  // The package stays open from here on, and what it holds is known before the camera is asked
  // to leave its mode: a file that changed since the check, or a header that promises a
  // negative number of entries, would leave the camera waiting in its upgrade mode.
  TPk2File package;
  std::array<std::uint8_t, Pk2Layout::kHeaderSize> header{};
  if (!package.Open(file_name) || package.Read(header.data(), header.size()) != header.size() ||
      !IsPk2Header(header)) {
    return Fail(message, "IDS_UPGRADEFILEFAIL");
  }
  const std::int32_t count = ReadLe32(header.data() + Pk2Layout::kCountOffset);
  if (count < 0) return Fail(message, "IDS_UPGRADEFILEFAIL");
  // Session A makes the camera leave its mode for the upgrade mode, where it waits for the
  // package: from the login on, sessions A and B are one upload, which a stop never cuts (the
  // camera would be left in its upgrade mode). A stop is honoured before it, or after it by the
  // worker's return wait.
  if (control.Cancelled()) return Fail(message, "IDS_CANCELLED");
  const TRunControl committed(
      [&control](TProgressStage stage, std::int64_t done, std::int64_t total) {
        control.Report(stage, done, total);
      },
      nullptr);
  if (!PrepareCamera(ip, port, user, password, message, committed)) return false;

  committed.Report(TProgressStage::Upload, package.Position(), package.Size());

  committed.Sleep(Wait::CtpSessionPause);
  switch (SendPackage(ip, port, package, count, committed)) {
    case Transfer::Sent:
      // Every entry was accepted: the camera has its firmware. Whether it comes back is the
      // worker's bounded return wait, as for every other series.
      return true;
    case Transfer::NotInUpgradeMode:
      return Fail(message, "IDS_ENTERUPGRADEERR");
    case Transfer::EntryFailed:
      break;
  }
  return Fail(message, "IDS_UPGRADEFILEERR");
}

void ReadVersionBySearch(const std::string& ip, int port, std::string& version,
                         const TRunControl& control, std::vector<TSendProblem>* problems) {
  version.clear();
  if (problems) problems->clear();
  TSocketThread session(ip, port, control);
  // The connection only tells whether the address can be reached; nothing is sent on it. An
  // address that cannot be reached gives no version (never a message in its place).
  if (session.Connect() != TCtpConnect::Ok) return;
  TCtpSearchList list;
  session.SearchCtpDevices(list, problems);
  for (const auto& [item_ip, record] : list) {
    if (item_ip == ip) {
      version = record->version;
      return;
    }
  }
}

}  // namespace camlift
