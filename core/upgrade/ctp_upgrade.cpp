#include "upgrade/ctp_upgrade.h"

#include <array>
#include <optional>

#include "i18n/str_res.h"
#include "upgrade/ctp_session.h"

namespace camlift {
namespace {

constexpr int kReturnAttempts = 10;

bool Fail(std::string& message, const char* key) {
  message = GetLangStr(key);
  return false;
}

// Session A: login and leave the current mode, so that the camera opens its upgrade mode.
bool PrepareCamera(const std::string& ip, int port, const std::string& user,
                   const std::string& password, std::string& message, const TRunControl& control) {
  TSocketThread session(ip, port, control);
  if (session.Connect() != CtpCode::kOk) return Fail(message, "IDS_IPCCONNETERR");
  if (session.Login(user, password) != CtpCode::kOk) return Fail(message, "IDS_LOGINERROR");
  if (session.ExitMode() != CtpCode::kOk) return Fail(message, "IDS_EXITIPCERR");
  if (session.Close() != 0) return Fail(message, "IDS_CLOSEIPCERROR");
  return true;
}

enum class Transfer { Sent, EntryFailed, NotInUpgradeMode, Stopped };

// Session B: the probe, then every entry. The session is closed on every path, followed by the
// pause the camera needs before it starts writing.
Transfer SendPackage(const std::string& ip, int port, TPk2File& package, std::int32_t count,
                     const TRunControl& control) {
  Transfer result = Transfer::EntryFailed;
  {
    TSocketThread session(ip, port, control);
    if (session.Connect() != CtpCode::kOk || session.Probe() != CtpCode::kOk) {
      result = Transfer::NotInUpgradeMode;
    } else {
      std::int32_t left = count;
      while (left > 0 && session.SendEntry(package) == CtpCode::kOk) --left;
      // An empty package counts as sent; a negative count does not.
      if (left == 0) result = Transfer::Sent;
    }
    session.Close();
    if (!control.Sleep(Wait::CtpSessionPause) && result == Transfer::Sent) {
      result = Transfer::Stopped;
    }
  }
  package.Close();
  return result;
}

// Session C: the camera is back when it accepts a connection again.
bool CameraReturns(const std::string& ip, int port, const TRunControl& control) {
  if (!control.Sleep(Wait::CtpReturnWait)) return false;
  TSocketThread session(ip, port, control);
  bool back = false;
  for (int attempt = 1; attempt <= kReturnAttempts && !back; ++attempt) {
    control.Report(TProgressStage::RebootWait, attempt, kReturnAttempts);
    // A connection still in progress is no proof: only an established one counts.
    back = session.Connect() == CtpCode::kOk && session.IsConnected();
    if (!back && attempt < kReturnAttempts && !control.Sleep(Wait::CtpReturnRetry)) break;
  }
  session.Close();
  control.Sleep(Wait::CtpSessionPause);
  return back;
}

}  // namespace

bool UpgradeByCtp(const std::string& file_name, const std::string& ip, int port,
                  const std::string& user, const std::string& password, std::string& message,
                  const TRunControl& control) {
  if (!TSocketThread::CheckPackage(file_name)) return Fail(message, "IDS_UPGRADEFILEFAIL");
  if (!PrepareCamera(ip, port, user, password, message, control)) return false;

  TPk2File package;
  std::array<std::uint8_t, Pk2Layout::kHeaderSize> header{};
  if (!package.Open(file_name) || package.Read(header.data(), header.size()) != header.size() ||
      !IsPk2Header(header)) {
    // The file changed since it was checked.
    return Fail(message, "IDS_UPGRADEFILEFAIL");
  }
  const std::int32_t count = ReadLe32(header.data() + Pk2Layout::kCountOffset);
  control.Report(TProgressStage::Upload, package.Position(), package.Size());

  if (!control.Sleep(Wait::CtpSessionPause)) return Fail(message, "IDS_CANCELLED");
  switch (SendPackage(ip, port, package, count, control)) {
    case Transfer::Sent:
      break;
    case Transfer::Stopped:
      return Fail(message, "IDS_CANCELLED");
    case Transfer::NotInUpgradeMode:
      return Fail(message, "IDS_ENTERUPGRADEERR");
    case Transfer::EntryFailed:
      return Fail(message, "IDS_UPGRADEFILEERR");
  }
  // A failure always comes with its line for the log, also when the camera stays away.
  if (CameraReturns(ip, port, control)) return true;
  return Fail(message, control.Cancelled() ? "IDS_CANCELLED" : "IDS_NOTRETURNED");
}

void ReadVersionBySearch(const std::string& ip, int port, std::string& version,
                         const TRunControl& control, std::vector<TSendProblem>* problems) {
  version.clear();
  if (problems) problems->clear();
  TSocketThread session(ip, port, control);
  // The connection only tells whether the address can be reached; nothing is sent on it. An
  // address that cannot be reached gives no version (never a message in its place).
  if (session.Connect() != CtpCode::kOk) return;
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
