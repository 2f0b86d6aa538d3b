// SPDX-License-Identifier: Apache-2.0
// TUpgradeThread: one upgrade of one camera, on a thread of its own. It is the only place that
// decides the order of an upgrade; the upgrader answers each step with a result. Every step
// writes one log line, handed to the UI thread and waited for, so the log never lags behind.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/dispatcher.h"
#include "platform/run_control.h"
#include "upgrade/upgrade_object.h"

namespace camlift {

class TKeepAwake;

enum class TUpgradeStatus {
  Working,           // the camera answers again after the upload (new version, or none readable)
  NotNeeded,         // same version and the user said No
  Failed,            // a step failed; the log says which
  Cancelled,         // the user stopped the run
  NotReturned,       // the camera did not answer again within the limit
  VersionUnchanged,  // the camera answers again and reports another version than the new one
  // The camera took the firmware and restarts; the wait for it was stopped (or has not ended
  // yet: the provisional record of a run), so nobody saw it come back.
  SentUnconfirmed,
};

// The result word of summaries and the history ("ok", "not needed", "failed", ...): "ok" only for
// a camera that runs the new firmware after its restart.
std::string UpgradeResultText(TUpgradeStatus status);

// The questions a run may ask; each needs its own consent.
enum class TQuestion {
  SameVersion,  // the camera runs the catalogue's version already
  Downgrade,    // the camera runs a newer version than the catalogue's
  LocalFile,    // a file from disk is about to be sent (it names the file, its size, the camera)
};

// How a run gets its firmware and what it checks at the end.
struct TUpgradeOptions {
  // A firmware file or repository archive on disk: the catalogue steps are skipped.
  std::string local_firmware;
  std::string local_md5;     // checked against the file, of any kind, when given
  std::string local_sha256;  // likewise
  // Read the version once more when the camera is back, and say whether it changed.
  bool confirm_version = true;
  // The run's lock against sleep, taken right before the upload (not owned; may be shared by
  // the workers of a batch).
  TKeepAwake* keep_awake = nullptr;
};

struct TUpgradeResult {
  TUpgradeStatus status = TUpgradeStatus::Failed;
  std::string old_version;
  std::string new_version;       // the catalogue's version
  std::string reported_version;  // what the camera reports after its restart
  std::string last_log;          // the text of the last log line
  bool upload_accepted = false;  // the camera took the firmware
};

// What the worker reports. Every call arrives on the UI thread through the dispatcher.
class IUpgradeObserver {
 public:
  virtual ~IUpgradeObserver() = default;
  virtual void OnLog(const std::string& text) = 0;
  // A question of the run (text and caption in UTF-8); true for Yes.
  virtual bool AskYesNo(TQuestion question, const std::string& text,
                        const std::string& caption) = 0;
  virtual void OnProgress(TProgressStage, std::int64_t /*done*/, std::int64_t /*total*/) {}
  // The camera took the firmware and restarts now (status SentUnconfirmed until the run ends):
  // the moment to record the run, so that a run cut short later is still on record.
  virtual void OnUploadAccepted(const TUpgradeResult&) {}
  virtual void OnDone(const TUpgradeResult&) {}
};

class TUpgradeThread {
 public:
  // outer_stop: the stop requests of whoever runs this worker (a batch, the Ctrl+C of the
  // command line); the run obeys them as it obeys RequestCancel. Their flags must outlive it.
  TUpgradeThread(std::unique_ptr<TUpgradeObject> upgrader, std::string expected_md5,
                 std::string excluded_versions, IUiDispatcher& ui, IUpgradeObserver& observer,
                 const TStopToken& outer_stop = {});
  ~TUpgradeThread();  // waits for the thread
  TUpgradeThread(const TUpgradeThread&) = delete;
  TUpgradeThread& operator=(const TUpgradeThread&) = delete;

  void SetOptions(const TUpgradeOptions& options) { options_ = options; }
  TUpgradeObject& Upgrader() { return *upgrader_; }
  // The checksum the firmware was verified against: the catalogue's, or the one given with a
  // local archive.
  std::string VerifiedMd5() const {
    return options_.local_firmware.empty() ? expected_md5_ : options_.local_md5;
  }

  // Runs Execute on a new thread; OnDone follows on the UI thread when it ends.
  void Start();
  // Asks the run to stop where it safely can: between steps and in waits, never inside an upload.
  void RequestCancel() { cancel_ = true; }
  bool Finished() const { return finished_; }
  void Join();

  // The sequence itself, on the calling thread (Start runs it on the worker thread).
  TUpgradeResult Execute();

 private:
  void Log(const std::string& text);
  void LogRepositoryProblem();
  TUpgradeResult Run();
  TUpgradeResult End(TUpgradeStatus status);
  bool WaitForReturn();
  // What became of the firmware the upload needs.
  enum class TFirmware {
    Ready,      // verified, at the upgrader's LocalFilePath
    Failed,     // the log says why
    NotNeeded,  // same version and the user said No
    Stopped,    // a stop request came while it was fetched
  };
  TFirmware PrepareFirmware();
  TUpgradeResult Confirm();
  // The same-version and downgrade questions; false when the run ends here (logged).
  bool ConsentToVersion();
  bool ConsentToLocalFile();
  bool Ask(TQuestion question, const std::string& text, const std::string& caption);
  // force: also within the interval that thins out reports (the last one of a wait).
  void ReportProgress(TProgressStage stage, std::int64_t done, std::int64_t total,
                      bool force = false);

  std::unique_ptr<TUpgradeObject> upgrader_;
  std::string expected_md5_;
  std::string excluded_versions_;
  IUiDispatcher& ui_;
  IUpgradeObserver& observer_;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> finished_{false};
  TRunControl control_;
  TUpgradeOptions options_;
  TUpgradeResult result_;
  std::int64_t last_progress_ms_ = -1;
  int last_stage_ = -1;
  std::thread thread_;
};

}  // namespace camlift
