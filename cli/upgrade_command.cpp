// SPDX-License-Identifier: Apache-2.0
// camlift upgrade: one camera, from the command line, with the same worker the window uses.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>

#include "camera_source.h"
#include "cli_session.h"
#include "command_registry.h"
#include "fleet/batch_resume.h"
#include "fleet/batch_upgrade.h"
#include "fleet/camera_list.h"
#include "fleet/history.h"
#include "fleet/upgrader_setup.h"
#include "i18n/str_res.h"
#include "password_option.h"
#include "platform/dispatcher.h"
#include "platform/paths.h"
#include "repository/firmware_cache.h"
#include "repository/repository_trust.h"
#include "repository/repository_url.h"
#include "upgrade/keep_awake.h"
#include "upgrade/upgrade_object.h"
#include "upgrade/upgrade_thread.h"
#include "util/text.h"
#include "util/text_fields.h"

namespace camlift::cli {
namespace {

constexpr int kExitNotNeeded = 3;
constexpr int kExitVersionUnchanged = 4;

struct UpgradeOptions {
  TCameraSourceOptions cameras;
  TRepositoryOptions repository;
  bool ui = false;
  bool yes = false;
  bool allow_downgrade = false;
  std::string lang;
  std::string firmware;
  std::string md5;
  std::string sha256;
  int jobs = 4;
  std::string summary_json;
  bool dry_run = false;
  std::string resume;
};

// Prints each log line as the window shows it, asks the run's questions on the terminal (or
// answers them from --yes and --allow-downgrade), and draws a live progress line on stderr when
// stderr is a terminal.
class TConsoleObserver final : public IUpgradeObserver {
 public:
  TConsoleObserver(bool yes, bool allow_downgrade)
      : yes_(yes), allow_downgrade_(allow_downgrade), progress_tty_(::isatty(2)) {}

  void OnLog(const std::string& text) override {
    ClearProgress();
    std::cout << LogLineForConsole(text) << std::endl;
  }

  bool AskYesNo(TQuestion question, const std::string& text, const std::string& caption) override {
    ClearProgress();
    switch (question) {
      case TQuestion::LocalFile:
        return true;  // --firmware named the file
      case TQuestion::SameVersion:
        if (yes_) return true;
        break;
      case TQuestion::Downgrade:
        // --yes answers the same-version question only; a downgrade needs its own consent.
        if (allow_downgrade_) return true;
        break;
    }
    if (!::isatty(0)) return false;
    // The question quotes the versions of the camera and of the catalogue.
    std::cerr << ShownText(caption) << ": " << ShownText(text) << " [y/N] " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
  }

  void OnProgress(TProgressStage stage, std::int64_t done, std::int64_t total) override {
    if (!progress_tty_) return;
    static constexpr const char* kStage[] = {"download", "verify", "upload",
                                             "waiting for the camera"};
    const char* what = kStage[static_cast<int>(stage)];
    char line[160];
    if (stage == TProgressStage::RebootWait) {
      std::snprintf(line, sizeof line, "\r%s: %llds of %llds", what,
                    static_cast<long long>(done / 1000), static_cast<long long>(total / 1000));
    } else if (stage == TProgressStage::Verify) {
      std::snprintf(line, sizeof line, "\r%s: %3d%%", what,
                    total > 0 ? static_cast<int>(done * 100 / total) : 0);
    } else if (total > 0) {
      std::snprintf(line, sizeof line, "\r%s: %3d%% (%lld / %lld KiB)", what,
                    static_cast<int>(done * 100 / total), static_cast<long long>(done / 1024),
                    static_cast<long long>(total / 1024));
    } else {
      std::snprintf(line, sizeof line, "\r%s: %lld KiB", what, static_cast<long long>(done / 1024));
    }
    std::cerr << line << "\033[K" << std::flush;
    shown_ = true;
  }

  void OnUploadAccepted(const TUpgradeResult& so_far) override {
    if (on_accepted) on_accepted(so_far);
  }
  std::function<void(const TUpgradeResult&)> on_accepted;

  void OnDone(const TUpgradeResult& result) override {
    ClearProgress();
    result_ = result;
    done_ = true;
  }

  bool done() const { return done_; }
  const TUpgradeResult& result() const { return result_; }

 private:
  void ClearProgress() {
    if (shown_) std::cerr << "\r\033[K" << std::flush;
    shown_ = false;
  }

  bool yes_;
  bool allow_downgrade_;
  bool progress_tty_;
  bool shown_ = false;
  bool done_ = false;
  TUpgradeResult result_;
};

std::atomic<bool> g_interrupted{false};

// Only a store to a lock-free atomic (see stop_token.h): nothing else is safe in a handler.
void OnInterrupt(int) { g_interrupted.store(true); }

// From here on Ctrl+C and SIGTERM ask the run to stop where it safely can instead of killing an
// upload halfway: the handler sets the flag returned, which the workers read as a stop request.
// The handler stays for the rest of the program, so a late Ctrl+C never cuts the history or the
// summary short either.
const std::atomic<bool>* StopOnInterrupt() {
  g_interrupted = false;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  ::sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  return &g_interrupted;
}

int RunUpgrade(const UpgradeOptions& options) {
  const TUpgraderSettings settings = RunSettingsOf(options.repository, options.ui);
  TCliSession session(options.lang);
  if (!session.ok()) return kExitFailed;

  std::vector<TCameraEntry> cameras;
  if (!CollectCameras(options.cameras, 0, cameras)) return kExitUsage;
  const TSeries series = cameras.front().series;
  auto upgrader = SetUpUpgrader(cameras.front(), settings);
  if (!upgrader) return kExitFailed;

  TLoopDispatcher ui;
  TConsoleObserver observer(options.yes, options.allow_downgrade);
  // The computer stays awake from the upload to the end of the run, however it ends.
  TKeepAwake keep_awake(1);
  TUpgradeThread worker(std::move(upgrader), "", "", ui, observer, StopOnInterrupt());
  TUpgradeOptions upgrade_options;
  upgrade_options.local_firmware = options.firmware;
  upgrade_options.local_md5 = options.md5;
  upgrade_options.local_sha256 = options.sha256;
  upgrade_options.keep_awake = &keep_awake;
  worker.SetOptions(upgrade_options);
  // On record as soon as the camera took the firmware; the end completes that record.
  const std::string run = NewHistoryRun();
  auto record = [&](const TUpgradeResult& result) {
    THistoryEntry entry =
        HistoryEntryOf("cli", series, worker.Upgrader(), result, worker.VerifiedMd5(), "");
    entry.run = run;
    AppendHistory(entry);
  };
  observer.on_accepted = record;

  worker.Start();
  ui.RunUntil([&] { return observer.done(); });
  worker.Join();
  record(observer.result());

  switch (observer.result().status) {
    case TUpgradeStatus::Working:
      return kExitOk;
    case TUpgradeStatus::NotNeeded:
      return kExitNotNeeded;
    case TUpgradeStatus::VersionUnchanged:
      return kExitVersionUnchanged;
    default:
      return kExitFailed;
  }
}

int RunBatch(const UpgradeOptions& options) {
  std::vector<TCameraEntry> cameras;
  if (!CollectCameras(options.cameras, 0, cameras)) return kExitUsage;
  if (cameras.empty()) {
    std::cerr << "camlift: " << options.cameras.from << " lists no camera\n";
    return kExitUsage;
  }
  TResumeSummary earlier;
  if (!options.resume.empty()) {
    std::ifstream summary_in(options.resume, std::ios::binary);
    std::stringstream summary_text;
    summary_text << summary_in.rdbuf();
    earlier = ReadResumeSummary(summary_text.str());
    if (!summary_in || !earlier.ok) {
      std::cerr << "camlift: " << options.resume << ": "
                << (summary_in ? earlier.error : std::string("cannot read the file")) << "\n";
      return kExitUsage;
    }
  }
  // What this batch upgrades with, for its summary, and what an earlier one must have used.
  TBatchRunFacts facts;
  facts.system = !options.ui;
  if (!options.firmware.empty()) {
    std::error_code ec;
    facts.firmware = std::filesystem::absolute(options.firmware, ec).lexically_normal().string();
  } else {
    facts.repository = RepositoryForSummary(ResolveRepositoryUrl(options.repository.repository));
  }
  if (!options.resume.empty()) {
    if (const std::string mismatch = ResumeMismatch(earlier, facts); !mismatch.empty()) {
      std::cerr << "camlift: --resume " << options.resume << ": " << mismatch << "\n";
      return kExitUsage;
    }
  }
  const TUpgraderSettings settings = RunSettingsOf(options.repository, options.ui);
  TCliSession session(options.lang);
  const std::vector<TCameraEntry> all_cameras = cameras;
  std::vector<TCameraEntry> to_run = CamerasToResume(all_cameras, earlier);
  if (!options.resume.empty()) {
    std::cout << (all_cameras.size() - to_run.size()) << " of " << all_cameras.size()
              << " cameras were upgraded by the earlier run; " << to_run.size() << " left\n";
  }

  TBatchOptions batch;
  static_cast<TUpgraderSettings&>(batch) = settings;
  batch.jobs = options.jobs;
  batch.yes = options.yes;
  batch.allow_downgrade = options.allow_downgrade;
  batch.state_folder = StateFolder();
  batch.upgrade.local_firmware = options.firmware;
  batch.upgrade.local_md5 = options.md5;
  batch.upgrade.local_sha256 = options.sha256;
  batch.dry_run = options.dry_run;
  // One lock for the whole batch, from its first upload to its end (a dry run uploads nothing).
  TKeepAwake keep_awake(to_run.size());
  batch.upgrade.keep_awake = &keep_awake;
  if (!options.dry_run) batch.history_file = HistoryFilePath();
  TBatchUpgrade runner(std::move(to_run), batch, StopOnInterrupt());
  runner.SetOnLine([](const TCameraEntry& camera, const std::string& line) {
    std::cout << "[" << camera.ip << ":" << camera.port << "] " << line << std::endl;
  });

  std::vector<TBatchOutcome> outcomes = runner.Run();
  if (!options.resume.empty()) outcomes = MergeResumed(all_cameras, earlier, outcomes);

  std::cout << "\n" << BatchSummaryTable(outcomes);
  if (!options.summary_json.empty()) {
    std::ofstream out(options.summary_json, std::ios::trunc);
    out << BatchSummaryJson(outcomes, facts);
    if (!out.flush()) {
      std::cerr << "camlift: cannot write " << options.summary_json << "\n";
      return kExitFailed;
    }
  }
  const bool all_ok = std::all_of(outcomes.begin(), outcomes.end(), [&](const TBatchOutcome& o) {
    return options.dry_run ? o.planned_ok : o.result.status == TUpgradeStatus::Working;
  });
  return all_ok ? kExitOk : kExitFailed;
}

void SetupUpgrade(CLI::App& root, CommandRunner& run) {
  auto options = std::make_shared<UpgradeOptions>();
  CLI::App* cmd = root.add_subcommand("upgrade", "Upgrade the firmware of one camera");
  const TCameraSourceFlags flags =
      AddCameraSourceOptions(cmd, options->cameras, "Upgrade every camera of a list");
  CLI::Option* from = flags.from;
  cmd->add_option("--jobs", options->jobs, "Cameras upgraded at the same time (with --from)")
      ->capture_default_str()
      ->check(CLI::Range(1, 64))
      ->needs(from);
  cmd->add_option("--summary-json", options->summary_json, "Write the batch summary as JSON")
      ->needs(from);
  cmd->add_flag("--dry-run", options->dry_run,
                "Read, look up and download into the verified cache, then print what would "
                "happen to each camera; nothing is sent to any camera")
      ->needs(from);
  cmd->add_option("--resume", options->resume,
                  "Skip the cameras that this earlier --summary-json lists as upgraded")
      ->check(CLI::ExistingFile)
      ->needs(from);
  auto* firmware =
      cmd->add_option("--firmware", options->firmware,
                      "Upgrade from this firmware file or repository archive (no repository)")
          ->check(CLI::ExistingFile);
  cmd->add_option("--md5", options->md5, "MD5 the --firmware file must have (any kind of file)")
      ->needs(firmware)
      ->check(CLI::Validator(
          [](std::string& value) {
            return IsMd5Text(value) ? std::string() : "expected 32 hexadecimal digits";
          },
          "MD5"));
  cmd->add_option("--sha256", options->sha256, "SHA-256 the --firmware file must have")
      ->needs(firmware)
      ->check(CLI::Validator(
          [](std::string& value) {
            const bool hex = value.size() == 64 &&
                             value.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
            return hex ? std::string() : "expected 64 hexadecimal digits";
          },
          "SHA256"));
  cmd->add_flag("--ui", options->ui, "Upgrade the UI firmware instead of the system firmware");
  cmd->add_flag("--yes", options->yes, "Answer Yes when the camera already runs that version");
  cmd->add_flag("--allow-downgrade", options->allow_downgrade,
                "Install the catalogue's version also when the camera runs a newer one");
  AddRepositoryOptions(cmd, options->repository, "Work folder for catalogue and firmware");
  cmd->add_option("--lang", options->lang, "Language of the log")
      ->check(CLI::IsMember({"en", "cn", "b5"}));
  cmd->callback([options, &run] {
    ResolveCameraSource(options->cameras);
    if (!options->cameras.from.empty()) {
      run = [options] { return RunBatch(*options); };
      return;
    }
    if (options->cameras.series.empty()) throw CLI::RequiredError("--series");
    if (options->cameras.ip.empty()) {
      throw CLI::ValidationError("--ip", "the IP address cannot be empty");
    }
    run = [options] { return RunUpgrade(*options); };
  });
}

}  // namespace

CAMLIFT_REGISTER_COMMAND("upgrade", SetupUpgrade);

}  // namespace camlift::cli
