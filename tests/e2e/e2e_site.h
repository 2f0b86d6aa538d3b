// SPDX-License-Identifier: Apache-2.0
// A simulated site for end-to-end runs: cameras and a firmware repository on loopback, a work
// folder, and the real camlift program run against them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim_camera.h"
#include "sim_record.h"
#include "sim_repository.h"
#include "support/process.h"
#include "support/temp_folder.h"

namespace camlift::test {

// Time scale of every end-to-end run.
inline constexpr const char* kE2eTimeScale = "0.002";
// ... and of a run against an https repository: the connect time-out also covers the TLS
// handshake, which takes a sanitizer build on a busy machine far longer than a plain connect.
// At this scale it is 2 s.
inline constexpr const char* kE2eTlsTimeScale = "0.1";

class TE2eSite {
 public:
  TE2eSite();
  ~TE2eSite();

  // A loopback address of this test process alone (several tests run at once).
  std::string NextAddress();
  // A camera left with the simulator's default device ID and MAC gets ones made of its address:
  // the list keys its rows by device ID, and tests that run at once share the loopback, so two
  // cameras alike would be one row, whichever answered last.
  static void GiveOwnIdentity(sim::TCameraConfig& config);
  // Starts a camera at NextAddress() (unless it has an address) with its own identity.
  sim::TSimCamera& AddCamera(sim::TCameraConfig config);
  // Adds a firmware to the repository tree; returns what the tool made.
  sim::TRepoAddResult AddFirmware(sim::TSimSeries series, sim::TFirmwareKind kind,
                                  const std::string& folder, const std::string& section,
                                  const std::string& version, const std::string& excluded = "");
  // tls_dir: HTTPS with the simulator's test CA kept there (its certificate for tls_name, by
  // default the repository's address).
  void StartRepository(std::set<sim::TRepoFault> faults = {}, const std::string& tls_dir = "",
                       const std::string& tls_name = "");
  // The user's options file of the program under test.
  void WriteOptions(const std::string& text);
  std::string RepositoryUrl() const { return repository_ ? repository_->BaseUrl() : ""; }

  // camlift upgrade against a camera, with the site's repository and work folder.
  TProcessResult Upgrade(const sim::TSimCamera& camera, std::vector<std::string> extra = {},
                         const std::string& stdin_text = "");
  // env entries are added to (or replace) the run's environment; started as for RunProcess.
  TProcessResult Run(std::vector<std::string> args, const std::string& stdin_text = "",
                     const std::map<std::string, std::string>& env = {},
                     const std::function<void(int pid)>& started = nullptr);
  // The arguments of Upgrade (without the program).
  std::vector<std::string> UpgradeArgs(const sim::TSimCamera& camera,
                                       std::vector<std::string> extra = {}) const;

  std::vector<nlohmann::json> Records() const { return recorder_->Entries(); }
  // The upload records of the cameras.
  std::vector<nlohmann::json> Uploads() const;
  const std::string& DataDir() const { return data_dir_; }
  const std::string& Root() const { return temp_.path(); }

 private:
  TTempFolder temp_;
  std::string data_dir_;
  std::string repo_root_;
  int next_host_ = 1;
  const char* time_scale_ = kE2eTimeScale;
  std::shared_ptr<sim::TSimRecorder> recorder_;
  std::vector<std::unique_ptr<sim::TSimCamera>> cameras_;
  std::unique_ptr<sim::TSimRepository> repository_;
};

// The texts of log lines "date time:text" (LC_ALL=C, so the stamp is "MM/DD/YY HH:MM:SS:").
std::vector<std::string> LogTexts(const std::string& out);
// The failure line of a run whose firmware or catalogue could not be had: the last
// "Failed to get ROM..." or "Failed to read version..." line among the last three (its reason
// and "Nothing was sent" follow it), else the last line.
std::string FailureLineOf(const std::vector<std::string>& log);

}  // namespace camlift::test
