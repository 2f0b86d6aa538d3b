// SPDX-License-Identifier: Apache-2.0
// camlift upgrade: one camera, from the command line, with the same worker the window uses.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>

#include "cli_session.h"
#include "command_registry.h"
#include "i18n/str_res.h"
#include "password_option.h"
#include "platform/dispatcher.h"
#include "platform/paths.h"
#include "upgrade/batch_resume.h"
#include "upgrade/batch_upgrade.h"
#include "upgrade/camera_list.h"
#include "upgrade/firmware_cache.h"
#include "upgrade/history.h"
#include "upgrade/repository_trust.h"
#include "upgrade/repository_url.h"
#include "upgrade/upgrade_factory.h"
#include "upgrade/upgrade_object.h"
#include "upgrade/upgrade_thread.h"
#include "util/text.h"
#include "util/text_fields.h"

namespace camlift::cli {
namespace {

constexpr int kExitNotNeeded = 3;
constexpr int kExitVersionUnchanged = 4;

struct UpgradeOptions {
  std::string series;
  std::string ip;
  int port = 81;
  std::string user = "admin";
  std::string password;  // resolved from password_option when the command line is read
  TPasswordOption password_option;
  bool ui = false;
  bool yes = false;
  bool allow_downgrade = false;
  std::string repository;
  std::string data_dir;
  std::string lang;
  std::string firmware;
  std::string md5;
  std::string sha256;
  std::string ca_file;
  std::string from;
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
  if (!options.data_dir.empty()) SetWorkFolder(options.data_dir);
  TCliSession session(options.lang);
  if (!session.ok()) return kExitFailed;

  const TSeries series = SeriesFromLetter(options.series);
  auto upgrader = TUpgradeFactory::CreateUpgrader(series, !options.ui);
  upgrader->SetUserName(options.user);
  upgrader->SetPassword(options.password);
  upgrader->SetIPAddress(options.ip);
  upgrader->SetPort(options.port);
  upgrader->SetRepositoryUrl(ResolveRepositoryUrl(options.repository));
  upgrader->SetRepositoryTrust(ResolveRepositoryTrust(options.ca_file));

  TLoopDispatcher ui;
  TConsoleObserver observer(options.yes, options.allow_downgrade);
  TUpgradeThread worker(std::move(upgrader), "", "", ui, observer, StopOnInterrupt());
  TUpgradeOptions upgrade_options;
  upgrade_options.local_firmware = options.firmware;
  upgrade_options.local_md5 = options.md5;
  upgrade_options.local_sha256 = options.sha256;
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
  std::ifstream in(options.from, std::ios::binary);
  if (!in) {
    std::cerr << "camlift: cannot read " << options.from << "\n";
    return kExitUsage;
  }
  std::stringstream text;
  text << in.rdbuf();
  TCameraListResult list = ParseCameraList(text.str(), options.user, options.password);
  for (const std::string& error : list.errors) std::cerr << options.from << ": " << error << "\n";
  if (!list.errors.empty()) return kExitUsage;
  if (list.cameras.empty()) {
    std::cerr << "camlift: " << options.from << " lists no camera\n";
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
  if (!options.data_dir.empty()) SetWorkFolder(options.data_dir);
  TCliSession session(options.lang);
  const std::vector<TCameraEntry> all_cameras = list.cameras;
  std::vector<TCameraEntry> to_run = CamerasToResume(all_cameras, earlier);
  if (!options.resume.empty()) {
    std::cout << (all_cameras.size() - to_run.size()) << " of " << all_cameras.size()
              << " cameras were upgraded by the earlier run; " << to_run.size() << " left\n";
  }

  TBatchOptions batch;
  batch.jobs = options.jobs;
  batch.system = !options.ui;
  batch.yes = options.yes;
  batch.allow_downgrade = options.allow_downgrade;
  batch.repository_url = ResolveRepositoryUrl(options.repository);
  batch.trust = ResolveRepositoryTrust(options.ca_file);
  batch.work_folder = CacheFolder();
  batch.state_folder = StateFolder();
  batch.upgrade.local_firmware = options.firmware;
  batch.upgrade.local_md5 = options.md5;
  batch.upgrade.local_sha256 = options.sha256;
  batch.dry_run = options.dry_run;
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
    out << BatchSummaryJson(outcomes);
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
  auto* series = cmd->add_option("--series", options->series, "Camera series")
                     ->check(CLI::IsMember(SeriesLetters(), CLI::ignore_case));
  auto* ip = cmd->add_option("--ip", options->ip, "Camera IP address");
  auto* from = cmd->add_option(
      "--from", options->from,
      "Upgrade every camera of a list: CSV (ip,port,series,user,password) or search --json lines");
  from->excludes(series)->excludes(ip);
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
  cmd->add_option("--ca-file", options->ca_file,
                  "CA certificates (PEM) to verify an https repository with")
      ->check(CLI::ExistingFile);
  cmd->add_option("--port", options->port, "Camera HTTP port")
      ->capture_default_str()
      ->check(CLI::Range(1, 65535));
  cmd->add_option("--user", options->user, "Camera account")->capture_default_str();
  AddPasswordOptions(cmd, options->password_option);
  cmd->add_flag("--ui", options->ui, "Upgrade the UI firmware instead of the system firmware");
  cmd->add_flag("--yes", options->yes, "Answer Yes when the camera already runs that version");
  cmd->add_flag("--allow-downgrade", options->allow_downgrade,
                "Install the catalogue's version also when the camera runs a newer one");
  cmd->add_option("--repository", options->repository,
                  "Firmware repository base URL (path ending in /FM/)");
  cmd->add_option("--data-dir", options->data_dir, "Work folder for catalogue and firmware");
  cmd->add_option("--lang", options->lang, "Language of the log")
      ->check(CLI::IsMember({"en", "cn", "b5"}));
  cmd->callback([options, &run] {
    options->password = ResolvePassword(options->password_option);
    if (!options->from.empty()) {
      run = [options] { return RunBatch(*options); };
      return;
    }
    if (options->series.empty()) throw CLI::RequiredError("--series");
    // Trimmed as the window trims it: an address pasted with blanks is still the address.
    options->ip = TrimText(options->ip);
    if (options->ip.empty()) throw CLI::ValidationError("--ip", "the IP address cannot be empty");
    run = [options] { return RunUpgrade(*options); };
  });
}

}  // namespace

CAMLIFT_REGISTER_COMMAND("upgrade", SetupUpgrade);

}  // namespace camlift::cli
