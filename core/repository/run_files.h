// SPDX-License-Identifier: Apache-2.0
// Files and folders a run makes for itself in the work folder ("run-owned"): names no other run
// can make, folders that are never links, and the removal of what runs that died left behind.
//
// Every such name carries the run's own id, 16 random hexadecimal digits made once per process:
// runs in different PID namespaces that share a data folder (containers) may have the same
// process id, never the same run id. While a run works in a work folder it holds a lock on
// ".run-<id>" there; a leftover whose run holds no lock any more belongs to a run that is gone.
#pragma once

#include <cstdint>
#include <string>

namespace camlift {

// This process's run id: 16 lower-case hexadecimal digits.
const std::string& RunId();

// prefix + run id + "-" + a counter of this process: unique among every run sharing a folder.
std::string UniqueLocalName(const std::string& prefix);

// Makes path (no trailing "/" needed) a folder of the program's own below a folder that exists:
// a real folder, never a symbolic link or anything else planted under its name, which is
// removed (the entry itself, never what a link points at) and replaced by a new folder. True
// when path is a real folder afterwards.
bool MakeOwnFolder(const std::string& path);
// MakeOwnFolder for each folder of relative ("downloads/10.0.0.1-80/") below base, which is the
// user's work folder and is created (and followed) as it is.
bool MakeOwnFolders(const std::string& base, const std::string& relative);
// True when path is a real folder (not a link to one).
bool IsOwnFolder(const std::string& path);

// The names a run makes that a crash may leave behind: ".download-", ".local-", ".catalogue-",
// ".record-", ".stage-".
bool IsRunOwnedName(const std::string& name);

// What a sweep removed.
struct TSweepResult {
  int removed = 0;
  std::uint64_t bytes = 0;
};

// Takes this run's lock in the work folder (once per process and folder) and then sweeps the
// leftovers of runs that are gone, in the work folder, downloads/*/, Bin/ and Bin/*/. Quiet:
// a folder that cannot be written is simply not swept.
void ClaimWorkFolder(const std::string& work_folder);
// The sweep alone (ClaimWorkFolder runs it once); never touches a live run's files.
TSweepResult SweepLeftovers(const std::string& work_folder);

}  // namespace camlift
