// SPDX-License-Identifier: Apache-2.0
#include "upgrade/upgrade_thread.h"

#include <chrono>
#include <exception>
#include <filesystem>
#include <system_error>

#include "i18n/lang_format.h"
#include "i18n/str_res.h"
#include "platform/timing.h"
#include "repository/repository_text.h"
#include "upgrade/keep_awake.h"

namespace camlift {
namespace {

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

constexpr std::int64_t kProgressEveryMs = 100;

}  // namespace

TUpgradeThread::TUpgradeThread(std::unique_ptr<TUpgradeObject> upgrader, std::string expected_md5,
                               std::string excluded_versions, IUiDispatcher& ui,
                               IUpgradeObserver& observer, const TStopToken& outer_stop)
    : upgrader_(std::move(upgrader)),
      expected_md5_(std::move(expected_md5)),
      excluded_versions_(std::move(excluded_versions)),
      ui_(ui),
      observer_(observer),
      control_([this](TProgressStage stage, std::int64_t done,
                      std::int64_t total) { ReportProgress(stage, done, total); },
               TStopToken(&cancel_).With(outer_stop)) {
  upgrader_->SetControl(&control_);
}

TUpgradeThread::~TUpgradeThread() { Join(); }

void TUpgradeThread::Start() {
  try {
    thread_ = std::thread([this] {
      const TUpgradeResult result = Execute();
      ui_.Invoke([&] { observer_.OnDone(result); });
      finished_ = true;
    });
  } catch (const std::system_error& e) {
    // No thread: the run ends before it began, and the window must hear of it like of any end.
    Log(GetLangStr("IDS_UNEXPECTEDERR") + e.what());
    const TUpgradeResult result = End(TUpgradeStatus::Failed);
    ui_.Invoke([&] { observer_.OnDone(result); });
    finished_ = true;
  }
}

void TUpgradeThread::Join() {
  if (thread_.joinable()) thread_.join();
}

void TUpgradeThread::Log(const std::string& text) {
  result_.last_log = text;
  ui_.Invoke([&] { observer_.OnLog(text); });
}

void TUpgradeThread::LogRepositoryProblem() {
  const std::string line = RepositoryProblemText(upgrader_->RepositoryProblem());
  if (!line.empty()) Log(line);
}

void TUpgradeThread::ReportProgress(TProgressStage stage, std::int64_t done, std::int64_t total,
                                    bool force) {
  // Transfers report thousands of times a second; the window needs a few updates. The first
  // report of a stage and its last always go through: each stage starts at 0 and ends full.
  const std::int64_t now = NowMs();
  const bool complete = total > 0 && done >= total;
  const bool new_stage = static_cast<int>(stage) != last_stage_;
  if (!complete && !new_stage && !force && last_progress_ms_ >= 0 &&
      now - last_progress_ms_ < kProgressEveryMs) {
    return;
  }
  last_progress_ms_ = now;
  last_stage_ = static_cast<int>(stage);
  ui_.Invoke([&] { observer_.OnProgress(stage, done, total); });
}

TUpgradeResult TUpgradeThread::End(TUpgradeStatus status) {
  result_.status = status;
  return result_;
}

TUpgradeResult TUpgradeThread::Execute() {
  try {
    return Run();
  } catch (const std::exception& e) {
    Log(GetLangStr("IDS_UNEXPECTEDERR") + e.what());
  } catch (...) {
    Log(GetLangStr("IDS_UNEXPECTEDERR"));
  }
  return End(TUpgradeStatus::Failed);
}

TUpgradeResult TUpgradeThread::Run() {
  TUpgradeObject& up = *upgrader_;
  auto stopped = [&] {
    if (!control_.Cancelled()) return false;
    Log(GetLangStr("IDS_CANCELLED"));
    return true;
  };

  if (!up.ReadOem()) {
    Log(GetLangStr("IDS_NOIPCCONNECT"));
    // The camera did answer: the cable is fine, the account is not.
    if (up.AccountRefused()) Log(GetLangStr("IDS_ACCOUNTREFUSED"));
    return End(TUpgradeStatus::Failed);
  }
  Log(GetLangStr("IDS_IPCCONNECTED"));
  if (stopped()) return End(TUpgradeStatus::Cancelled);

  if (!up.ReadCurrentVersion()) {
    for (const std::string& line : up.VersionReadProblems()) Log(line);
    Log(GetLangStr("IDS_VERSIONERROR"));
    return End(TUpgradeStatus::Failed);
  }
  result_.old_version = up.CurrentVersion();
  Log(GetLangStr("IDS_CURRVERSION") + up.CurrentVersion());
  if (stopped()) return End(TUpgradeStatus::Cancelled);

  const TFirmware firmware = PrepareFirmware();
  if (firmware != TFirmware::Ready) {
    // A stop that came while the firmware was fetched ends the run as a stop, whatever the
    // fetch made of it.
    if (stopped()) return End(TUpgradeStatus::Cancelled);
    return End(firmware == TFirmware::NotNeeded ? TUpgradeStatus::NotNeeded
                                                : TUpgradeStatus::Failed);
  }
  if (stopped()) return End(TUpgradeStatus::Cancelled);

  if (options_.keep_awake) {
    const std::string not_held = options_.keep_awake->BeforeUpload();
    if (!not_held.empty()) Log(not_held);
  }
  Log(GetLangStr("IDS_UPGRADING"));
  std::string message;
  if (!up.Upload(message)) {
    Log(message);
    // A stop honoured in one of the upload's own waits (series K between its sessions) ends
    // the run as a stop, the same as everywhere else.
    const bool stopped_here = control_.Cancelled() && message == GetLangStr("IDS_CANCELLED");
    return End(stopped_here ? TUpgradeStatus::Cancelled : TUpgradeStatus::Failed);
  }
  result_.upload_accepted = true;
  Log(GetLangStr("IDS_UPGRADED"));
  {
    TUpgradeResult so_far = result_;
    so_far.status = TUpgradeStatus::SentUnconfirmed;
    ui_.Invoke([&] { observer_.OnUploadAccepted(so_far); });
  }

  if (!WaitForReturn()) {
    if (control_.Cancelled()) {
      // The firmware is in the camera: a stop now ends only the wait, and says so.
      Log(GetLangStr("IDS_SENTSTOPPED"));
      Log(LangFormat(GetLangStr("IDS_SENTCHECK"), {up.IPAddress(), std::to_string(up.Port())}));
      return End(TUpgradeStatus::SentUnconfirmed);
    }
    Log(GetLangStr("IDS_NOTRETURNED"));
    return End(TUpgradeStatus::NotReturned);
  }
  Log(GetLangStr("IDS_IPCWORKING"));
  // A camera that answers again but refuses the account (its firmware reset it, or someone
  // changed it) has returned: it is not waited for, and the log says what it answered.
  if (up.AccountRefused()) Log(GetLangStr("IDS_ACCOUNTREFUSED"));
  return Confirm();
}

TUpgradeThread::TFirmware TUpgradeThread::PrepareFirmware() {
  TUpgradeObject& up = *upgrader_;
  if (!options_.local_firmware.empty()) {
    // A file brought along on a laptop: no catalogue, but the same unpacking and series checks.
    Log(GetLangStr("IDS_LOCALFIRMWARE") + options_.local_firmware);
    if (!up.UseLocalFirmware(options_.local_firmware, options_.local_md5, options_.local_sha256)) {
      if (control_.Cancelled()) return TFirmware::Stopped;
      Log(GetLangStr("IDS_DOWNLOADERR"));
      LogRepositoryProblem();
      Log(GetLangStr("IDS_NOTHINGSENT"));
      return TFirmware::Failed;
    }
    if (!ConsentToLocalFile()) return TFirmware::NotNeeded;
    return TFirmware::Ready;
  }
  if (up.RepositoryUrl().empty()) {
    Log(GetLangStr("IDS_NOREPOSITORY"));
    return TFirmware::Failed;
  }
  // A mistyped key is said before the catalogue that it will fail to verify.
  for (const std::string& line : BadRepositoryKeyLines(up.RepositoryTrust())) Log(line);
  std::string latest;
  up.ReadLatestVersion(expected_md5_, excluded_versions_, latest);
  up.SetLatestVersion(latest);
  // A stop during the catalogue fetch is a stop, not a missing firmware.
  if (control_.Cancelled()) return TFirmware::Stopped;
  if (up.LatestVersion().empty()) {
    Log(GetLangStr("IDS_DOWNFIRMERR"));
    LogRepositoryProblem();
    return TFirmware::Failed;
  }
  result_.new_version = up.LatestVersion();
  Log(GetLangStr("IDS_HIGHVERSION") + up.LatestVersion());
  if (control_.Cancelled()) return TFirmware::Stopped;

  if (!ConsentToVersion()) return TFirmware::NotNeeded;
  if (!up.CurrentVersion().empty() &&
      excluded_versions_.find(up.CurrentVersion()) != std::string::npos) {
    Log(GetLangStr("IDS_NONEWVERSION"));
    return TFirmware::Failed;
  }

  Log(GetLangStr("IDS_DOWNLOADING"));
  if (!up.DownloadFirmware(expected_md5_)) {
    if (control_.Cancelled()) return TFirmware::Stopped;
    // The failure first, then why: the line an installer reads next says what to fix.
    Log(GetLangStr("IDS_DOWNLOADERR"));
    LogRepositoryProblem();
    return TFirmware::Failed;
  }
  return TFirmware::Ready;
}

bool TUpgradeThread::Ask(TQuestion question, const std::string& text, const std::string& caption) {
  bool yes = false;
  ui_.Invoke([&] { yes = observer_.AskYesNo(question, text, caption); });
  return yes;
}

bool TUpgradeThread::ConsentToVersion() {
  TUpgradeObject& up = *upgrader_;
  const std::string& current = up.CurrentVersion();
  const std::string& latest = up.LatestVersion();
  switch (up.StepTo(latest)) {
    case TVersionStep::Upgrade:
      return true;
    case TVersionStep::Same:
      if (Ask(TQuestion::SameVersion, GetLangStr("IDS_ISUPDATEFIRM"),
              GetLangStr("IDS_INFORMATION"))) {
        return true;
      }
      Log(GetLangStr("IDS_NOUPDATEFIRM"));
      return false;
    case TVersionStep::Downgrade:
      // Never without an answer of its own: an older firmware may lack what the camera relies
      // on now, and a Yes to the same-version question is no Yes to this one.
      if (Ask(TQuestion::Downgrade, LangFormat(GetLangStr("IDS_ISDOWNGRADE"), {current, latest}),
              GetLangStr("IDS_WARNING"))) {
        Log(LangFormat(GetLangStr("IDS_DOWNGRADING"), {current, latest}));
        return true;
      }
      Log(LangFormat(GetLangStr("IDS_NODOWNGRADE"), {current, latest}));
      return false;
  }
  return false;
}

bool TUpgradeThread::ConsentToLocalFile() {
  const TUpgradeObject& up = *upgrader_;
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(options_.local_firmware, ec);
  const std::string name = std::filesystem::path(options_.local_firmware).filename().string();
  const std::string camera = up.IPAddress() + ":" + std::to_string(up.Port());
  const std::string text =
      LangFormat(GetLangStr("IDS_ASKLOCALFILE"),
                 {name, ec ? std::string("?") : std::to_string(size), camera, up.CurrentVersion()});
  if (Ask(TQuestion::LocalFile, text, GetLangStr("IDS_CONFIRM"))) return true;
  Log(GetLangStr("IDS_NOTHINGSENT"));
  return false;
}

TUpgradeResult TUpgradeThread::Confirm() {
  if (!options_.confirm_version) return End(TUpgradeStatus::Working);
  // A camera that answers again has not necessarily taken the firmware: ask it which version it
  // runs now, the same way the run asked at its start.
  TUpgradeObject& up = *upgrader_;
  const std::string before = result_.old_version;
  const bool read = up.ReadCurrentVersion() && !up.CurrentVersion().empty();
  if (!read) {
    // Not an answer about the version at all: never report the old value as what it runs.
    Log(GetLangStr("IDS_VERSIONUNREAD"));
    return End(TUpgradeStatus::Working);
  }
  const std::string now = up.CurrentVersion();
  result_.reported_version = now;
  const bool confirmed =
      up.LatestVersion().empty() ? !up.IsSameVersion(before) : up.IsSameVersion(up.LatestVersion());
  if (confirmed) {
    Log(GetLangStr("IDS_VERSIONCONFIRMED") + now);
    return End(TUpgradeStatus::Working);
  }
  Log(GetLangStr("IDS_VERSIONUNCHANGED") + now);
  return End(TUpgradeStatus::VersionUnchanged);
}

bool TUpgradeThread::WaitForReturn() {
  // The camera restarts after taking its firmware; it is not asked before the pause is over,
  // then once a second until it answers or the limit runs out.
  const auto start = std::chrono::steady_clock::now();
  const std::int64_t limit = Millis(Wait::ReturnLimit);
  auto elapsed = [&] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
  };
  const int pause = Millis(Wait::RebootWait);
  ReportProgress(TProgressStage::RebootWait, 0, limit);
  for (int waited = 0; waited < pause;) {
    const int slice = std::min(pause - waited, 250);
    if (!control_.SleepMillis(slice)) return false;
    waited += slice;
    ReportProgress(TProgressStage::RebootWait, elapsed(), limit);
  }
  while (elapsed() < limit) {
    if (upgrader_->ReadOem() || upgrader_->AccountRefused()) {
      ReportProgress(TProgressStage::RebootWait, elapsed(), limit, true);
      return true;
    }
    ReportProgress(TProgressStage::RebootWait, elapsed(), limit);
    if (!control_.Sleep(Wait::ReturnPollInterval)) return false;
  }
  return false;
}

std::string UpgradeResultText(TUpgradeStatus status) {
  switch (status) {
    case TUpgradeStatus::Working:
      return "ok";
    case TUpgradeStatus::NotNeeded:
      return "not needed";
    case TUpgradeStatus::Failed:
      return "failed";
    case TUpgradeStatus::Cancelled:
      return "cancelled";
    case TUpgradeStatus::NotReturned:
      return "not returned";
    case TUpgradeStatus::VersionUnchanged:
      return "version unchanged";
    case TUpgradeStatus::SentUnconfirmed:
      return "sent, not confirmed";
  }
  return "failed";
}

}  // namespace camlift
