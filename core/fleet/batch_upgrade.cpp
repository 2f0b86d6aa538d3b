// SPDX-License-Identifier: Apache-2.0
#include "fleet/batch_upgrade.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "fleet/history.h"
#include "fleet/status_read.h"
#include "i18n/str_res.h"
#include "platform/dispatcher.h"
#include "platform/paths.h"
#include "repository/repository_text.h"
#include "repository/run_files.h"
#include "util/log_line.h"
#include "util/text_convert.h"
#include "util/text_fields.h"
#include "util/tools.h"

namespace camlift {
namespace {

std::string Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y%m%d", &local);
  return text;
}

// Width of a UTF-8 text in characters (the arrow of a plan is one).
std::size_t Columns(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::string CameraName(const TCameraEntry& c) { return c.ip + ":" + std::to_string(c.port); }

// Writes one camera's log lines to its file and hands them on; answers the question from the
// options, since nobody can be asked about twenty cameras at once.
class TBatchObserver final : public IUpgradeObserver {
 public:
  // The log is appended to, and never written through a link planted under its name.
  TBatchObserver(const std::string& path, const TBatchOptions& options,
                 std::function<void(const std::string&)> on_line)
      : fd_(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644)),
        options_(options),
        on_line_(std::move(on_line)) {}
  ~TBatchObserver() override {
    if (fd_ >= 0) ::close(fd_);
  }
  TBatchObserver(const TBatchObserver&) = delete;
  TBatchObserver& operator=(const TBatchObserver&) = delete;

  void OnLog(const std::string& text) override {
    const std::string line = FormatLogLine(text);
    if (fd_ >= 0) {
      const std::string bytes = line + "\r\n";
      [[maybe_unused]] const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    }
    last_ = text;
    on_line_(line);
  }
  bool AskYesNo(TQuestion question, const std::string&, const std::string&) override {
    switch (question) {
      case TQuestion::SameVersion:
        return options_.yes;
      case TQuestion::Downgrade:
        return options_.allow_downgrade;
      case TQuestion::LocalFile:
        return true;  // the command line named the file
    }
    return false;
  }
  void OnUploadAccepted(const TUpgradeResult& so_far) override {
    if (on_accepted) on_accepted(so_far);
  }
  const std::string& last() const { return last_; }
  std::function<void(const TUpgradeResult&)> on_accepted;

 private:
  int fd_;
  const TBatchOptions& options_;
  std::function<void(const std::string&)> on_line_;
  std::string last_;
};

// The catalogue and downloads of one camera of the batch, which the other cameras and runs must
// not overwrite meanwhile.
TUpgraderOwnFiles OwnFilesOf(const TCameraEntry& camera, const std::string& work_folder) {
  const std::string tag = camera.ip + "-" + std::to_string(camera.port);
  return {"Firmware-" + tag + ".ini", work_folder + "downloads/" + tag + "/"};
}

}  // namespace

TBatchUpgrade::TBatchUpgrade(std::vector<TCameraEntry> cameras, TBatchOptions options,
                             const TStopToken& outer_stop)
    : cameras_(std::move(cameras)),
      options_(std::move(options)),
      stop_(TStopToken(&cancel_).With(outer_stop)) {
  // Downloads and logs go below the work folder: never into whatever folder the program was
  // started from.
  if (options_.work_folder.empty()) options_.work_folder = CacheFolder();
}

std::string TBatchUpgrade::OutcomeText(const TBatchOutcome& outcome) {
  return outcome.plan.empty() ? UpgradeResultText(outcome.result.status) : outcome.plan;
}

TBatchOutcome TBatchUpgrade::PlanOne(const TCameraEntry& camera) {
  TBatchOutcome outcome;
  outcome.camera = camera;
  // The plan fills the verified cache: only from a catalogue the upgrade would accept.
  auto upgrader = SetUpUpgrader(camera, options_, OwnFilesOf(camera, options_.work_folder));
  if (!upgrader) {
    outcome.plan = CameraStateText(TCameraState::UnknownSeries);
    return outcome;
  }

  // The plan's catalogue fetch and download end at the batch's stop (Ctrl+C) as the upgrade's do.
  const TRunControl control({}, stop_);
  upgrader->SetControl(&control);
  const auto stopped = [&outcome] {
    outcome.result.status = TUpgradeStatus::Cancelled;
    outcome.reason = GetLangStr("IDS_CANCELLED");
    return outcome;
  };

  const bool local = !options_.upgrade.local_firmware.empty();
  TCameraStatus status = ReadStatusWith(*upgrader, camera);
  if (stop_.Requested()) return stopped();
  outcome.result.old_version = status.current;
  outcome.result.new_version = status.latest;
  const bool readable =
      status.state != TCameraState::AccountRefused && status.state != TCameraState::Unreachable;
  // A firmware from disk needs no catalogue; the camera only has to answer.
  const bool wanted =
      local ? readable
            : status.state == TCameraState::UpdateAvailable ||
                  (status.state == TCameraState::UpToDate && options_.yes) ||
                  (status.state == TCameraState::NewerThanRepository && options_.allow_downgrade);
  if (!wanted) {
    outcome.plan = CameraStateText(status.state);
    // A refused catalogue reads as no firmware: the reason says why.
    if (!status.repository_problem.empty()) {
      outcome.reason = status.repository_problem;
    }
    outcome.planned_ok = status.state == TCameraState::UpToDate;
    outcome.result.status = outcome.planned_ok ? TUpgradeStatus::NotNeeded : TUpgradeStatus::Failed;
    return outcome;
  }
  // The same download and checks as the upgrade, so that the firmware waits verified in the
  // cache; the camera is not asked for anything more.
  const bool ready =
      local ? upgrader->UseLocalFirmware(options_.upgrade.local_firmware,
                                         options_.upgrade.local_md5, options_.upgrade.local_sha256)
            : upgrader->DownloadFirmware(status.md5);
  if (!ready && stop_.Requested()) return stopped();
  if (!ready) {
    outcome.plan = "download failed";
    const std::string why = RepositoryProblemText(upgrader->RepositoryProblem());
    outcome.reason = why.empty() ? GetLangStr("IDS_DOWNLOADERR") : why;
    outcome.result.status = TUpgradeStatus::Failed;
    return outcome;
  }
  const std::string target =
      local ? std::filesystem::path(upgrader->LocalFilePath()).filename().string() : status.latest;
  outcome.plan = "would upgrade " + status.current + " \u2192 " + target;
  outcome.reason = upgrader->LocalFilePath();
  outcome.planned_ok = true;
  outcome.result.status = TUpgradeStatus::NotNeeded;
  return outcome;
}

TBatchOutcome TBatchUpgrade::RunOne(const TCameraEntry& camera) {
  if (options_.dry_run) return PlanOne(camera);
  TBatchOutcome outcome;
  outcome.camera = camera;
  auto upgrader = SetUpUpgrader(camera, options_, OwnFilesOf(camera, options_.work_folder));
  if (!upgrader) {
    outcome.reason = CameraStateText(TCameraState::UnknownSeries);
    return outcome;  // failed: nothing was asked or sent, and no log was written
  }
  const std::string& records =
      options_.state_folder.empty() ? options_.work_folder : options_.state_folder;
  // logs/ is a folder of our own: a link planted there is removed, never followed.
  MakeOwnFolders(records, "logs");
  // One log per camera: two cameras behind one address (port forwarding) each get their own.
  const bool shared_address =
      std::count_if(cameras_.begin(), cameras_.end(),
                    [&](const TCameraEntry& c) { return c.ip == camera.ip; }) > 1;
  outcome.log_file = records + "logs/" + camera.ip +
                     (shared_address ? "-" + std::to_string(camera.port) : "") + "-" + Today() +
                     ".log";

  TBatchObserver observer(outcome.log_file, options_, [&](const std::string& line) {
    if (!on_line_) return;
    std::lock_guard lock(line_mutex_);
    on_line_(camera, line);
  });
  TInlineDispatcher inline_ui;  // each camera's reports stay on its own worker
  // The worker watches the batch's stop itself.
  TUpgradeThread worker(std::move(upgrader), "", "", inline_ui, observer, stop_);
  worker.SetOptions(options_.upgrade);
  // Recorded once the camera took the firmware, and completed at the end: a batch killed while
  // cameras restart still leaves their runs on record.
  const std::string run = NewHistoryRun();
  auto record = [&](const TUpgradeResult& result) {
    if (options_.history_file.empty()) return;
    THistoryEntry entry = HistoryEntryOf("batch", camera.series, worker.Upgrader(), result,
                                         worker.VerifiedMd5(), outcome.log_file);
    entry.run = run;
    AppendHistory(entry, options_.history_file);
  };
  observer.on_accepted = record;
  outcome.result = worker.Execute();
  outcome.reason = observer.last();
  record(outcome.result);
  return outcome;
}

std::vector<TBatchOutcome> TBatchUpgrade::Run() {
  std::vector<TBatchOutcome> outcomes(cameras_.size());
  std::atomic<std::size_t> next{0};
  const int jobs = std::max(1, std::min<int>(options_.jobs, static_cast<int>(cameras_.size())));
  std::vector<std::thread> workers;
  for (int j = 0; j < jobs; ++j) {
    workers.emplace_back([&] {
      for (std::size_t i; (i = next++) < cameras_.size();) {
        if (stop_.Requested()) {
          outcomes[i].camera = cameras_[i];
          outcomes[i].result.status = TUpgradeStatus::Cancelled;
          outcomes[i].reason = "not started";
          continue;
        }
        outcomes[i] = RunOne(cameras_[i]);
      }
    });
  }
  for (auto& w : workers) w.join();
  return outcomes;
}

std::string BatchSummaryTable(const std::vector<TBatchOutcome>& outcomes) {
  std::vector<std::vector<std::string>> rows = {
      {"Camera", "Series", "Old version", "New version", "Result", "Reason"}};
  for (const TBatchOutcome& o : outcomes) {
    // Versions and reasons quote cameras and repositories: one line each on the terminal.
    rows.push_back({ShownText(CameraName(o.camera)), SeriesLetter(o.camera.series),
                    ShownText(o.result.old_version),
                    ShownText(o.result.reported_version.empty() ? o.result.new_version
                                                                : o.result.reported_version),
                    TBatchUpgrade::OutcomeText(o), ShownText(o.reason)});
  }
  std::vector<std::size_t> width(6, 0);
  for (const auto& row : rows) {
    for (std::size_t c = 0; c + 1 < row.size(); ++c) width[c] = std::max(width[c], Columns(row[c]));
  }
  std::string table;
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      table += row[c];
      if (c + 1 < row.size()) table += std::string(width[c] - Columns(row[c]) + 2, ' ');
    }
    table += "\n";
  }
  return table;
}

std::string BatchSummaryJson(const std::vector<TBatchOutcome>& outcomes,
                             const TBatchRunFacts& facts) {
  nlohmann::json all = nlohmann::json::array();
  for (const TBatchOutcome& o : outcomes) {
    all.push_back({{"camera", CameraName(o.camera)},
                   {"kind", facts.system ? "system" : "ui"},
                   {"repository", facts.repository},
                   {"firmware", facts.firmware},
                   {"ip", o.camera.ip},
                   {"port", o.camera.port},
                   {"series", SeriesLetter(o.camera.series)},
                   {"oldVersion", o.result.old_version},
                   {"catalogueVersion", o.result.new_version},
                   {"reportedVersion", o.result.reported_version},
                   {"result", TBatchUpgrade::OutcomeText(o)},
                   {"reason", o.reason},
                   {"log", o.log_file}});
  }
  return all.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace camlift
