// SPDX-License-Identifier: Apache-2.0
// What a camera runs and what the catalogue offers it, without touching it: the reads of an
// upgrade up to and including the catalogue lookup, for one camera or a whole fleet at once.
// Nothing is uploaded and nobody is asked anything.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "fleet/camera_list.h"
#include "fleet/upgrader_setup.h"
#include "repository/repository_trust.h"

namespace camlift {

class TUpgradeObject;

enum class TCameraState {
  UpToDate,         // the camera runs the catalogue's version
  UpdateAvailable,  // the catalogue has a newer version for it
  // The camera runs a newer version than the catalogue's: an upgrade would take it back, and
  // does so only when the user agrees to that in so many words.
  NewerThanRepository,
  Excluded,        // its version is on the catalogue's NO list
  NoFirmware,      // the catalogue has no section for it
  AccountRefused,  // the camera answers but refuses the account
  Unreachable,     // no answer, or no version could be read
  UnknownSeries,   // nobody knows how to read this camera
  AccountNotSent,  // a camera of a search the account may not go to: read without it
};

// "up to date", "update available", ... : the texts of the table, the CSV and the JSON.
std::string CameraStateText(TCameraState state);

struct TCameraStatus {
  TCameraEntry camera;
  std::string model;  // the camera's model, else its OEM text
  std::string current;
  std::string latest;              // the catalogue's version
  std::string file;                // the catalogue's firmware file
  std::string md5;                 // of that archive
  std::string excluded;            // the catalogue's NO list
  std::string repository_problem;  // why the catalogue was refused (a log line), or empty
  TCameraState state = TCameraState::Unreachable;
  // The camera answered its reads (a refusal of the account is an answer), whatever the state
  // says; false for a camera that was not asked (unknown series, an address that is none).
  bool answered = false;
};

// The state with its reason where it has one: "account not sent: the search reply came from
// 127.0.0.9" (the table and the CSV; the JSON has the reason in a field of its own).
std::string StatusStateText(const TCameraStatus& status);

// system, repository_url, trust (a catalogue the upgrade would refuse gives no catalogue version
// here either) and work_folder (each camera fetches its catalogue to a name of its own).
struct TStatusOptions : TUpgraderSettings {
  int jobs = 8;
  const std::atomic<bool>* cancel = nullptr;  // cameras not yet started are left as unreachable
};

// The state of an upgrader once its reads have run (used by status and the plan of a batch).
// read_ok: whether ReadOem and ReadCurrentVersion both succeeded.
TCameraState StateAfterReads(const TUpgradeObject& upgrader, bool oem_ok, bool version_ok,
                             const std::string& latest, const std::string& excluded);

// Runs the reads with an upgrader that is set up already (account, address, folders).
TCameraStatus ReadStatusWith(TUpgradeObject& upgrader, const TCameraEntry& camera);
TCameraStatus ReadCameraStatus(const TCameraEntry& camera, const TStatusOptions& options);

// Every camera, `jobs` at a time; the rows keep the order of the list. progress(row, done,
// total) is called from the readers' threads as each camera ends, one call at a time.
using TStatusProgress =
    std::function<void(const TCameraStatus& row, std::size_t done, std::size_t total)>;
std::vector<TCameraStatus> ReadFleetStatus(const std::vector<TCameraEntry>& cameras,
                                           const TStatusOptions& options,
                                           const TStatusProgress& progress = {});

// The table (aligned columns), CSV (with a header line) and JSON lines of a status run.
std::string StatusTable(const std::vector<TCameraStatus>& rows);
std::string StatusCsv(const std::vector<TCameraStatus>& rows);
std::string StatusJsonLines(const std::vector<TCameraStatus>& rows);

}  // namespace camlift
