// SPDX-License-Identifier: Apache-2.0
// Many cameras at once: up to `jobs` workers run side by side, each with its own upgrader, its
// own log file and its own catalogue and download names in the shared work folder; unpacked
// firmware is shared only through the verified cache. One camera's failure never stops another.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "fleet/camera_list.h"
#include "fleet/upgrader_setup.h"
#include "upgrade/upgrade_thread.h"

namespace camlift {

// system, repository_url, trust and work_folder: what every camera's upgrader gets.
struct TBatchOptions : TUpgraderSettings {
  int jobs = 4;
  bool yes = false;  // the answer to the same-version question
  // The answer to the downgrade question (the camera runs a newer version than the
  // catalogue's); `yes` alone never says yes to that.
  bool allow_downgrade = false;
  std::string state_folder;  // the per-camera logs go below it; empty: the work folder
  TUpgradeOptions upgrade;   // local firmware, confirmation
  // Everything up to the upload (reads, catalogue, download into the verified cache) and then
  // a plan instead of an upgrade: no camera receives anything but reads.
  bool dry_run = false;
  // Where each camera's run is recorded; empty: nowhere.
  std::string history_file;
};

struct TBatchOutcome {
  TCameraEntry camera;
  TUpgradeResult result;
  std::string log_file;
  std::string reason;       // the last log line, UTF-8
  std::string plan;         // of a dry run: "would upgrade A → B", "up to date", ...
  bool planned_ok = false;  // the plan would upgrade the camera or leave it as it is
};

class TBatchUpgrade {
 public:
  // Each log line of each camera as it comes (UTF-8), for a live display. Called from the
  // workers' threads, one call at a time.
  using LineFn = std::function<void(const TCameraEntry&, const std::string& utf8_line)>;

  // outer_stop: the caller's stop requests (the Ctrl+C of the command line), obeyed like
  // RequestCancel by every camera's worker directly. Their flags must outlive the run.
  TBatchUpgrade(std::vector<TCameraEntry> cameras, TBatchOptions options,
                const TStopToken& outer_stop = {});

  void SetOnLine(LineFn on_line) { on_line_ = std::move(on_line); }
  // Runs every camera; returns when all have ended. Outcomes are in list order.
  std::vector<TBatchOutcome> Run();
  // Asks every running and waiting camera to stop where it safely can.
  void RequestCancel() { cancel_ = true; }

  // The result column of the summary: the plan of a dry run, else UpgradeResultText.
  static std::string OutcomeText(const TBatchOutcome& outcome);

 private:
  TBatchOutcome RunOne(const TCameraEntry& camera);
  TBatchOutcome PlanOne(const TCameraEntry& camera);

  std::vector<TCameraEntry> cameras_;
  TBatchOptions options_;
  LineFn on_line_;
  std::mutex line_mutex_;
  std::atomic<bool> cancel_{false};
  TStopToken stop_;  // cancel_ and the caller's stop
};

// What a batch upgraded its cameras with, written into every line of its JSON summary so that
// --resume never takes a camera as done by a run of another kind or from another source.
struct TBatchRunFacts {
  bool system = true;      // "kind": "system" or "ui"
  std::string repository;  // the repository URL without any account in it; empty with firmware
  std::string firmware;    // the --firmware file, empty when the repository was used
};

// The summary as an aligned table and as JSON.
std::string BatchSummaryTable(const std::vector<TBatchOutcome>& outcomes);
std::string BatchSummaryJson(const std::vector<TBatchOutcome>& outcomes,
                             const TBatchRunFacts& facts = {});

}  // namespace camlift
