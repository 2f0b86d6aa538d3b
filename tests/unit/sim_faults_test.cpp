// SPDX-License-Identifier: Apache-2.0
// The simulator's fault tables (sim_faults.h, ctp_faults.h, r730_faults.h): every fault that a
// side declares is reached by its own name through the one lookup that scenario files and
// --fault use, and the names that scenario files, scripts and the man page already use keep
// naming their faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "sim_camera.h"
#include "sim_scenario.h"
#include "sim_series.h"

namespace camlift::sim {
namespace {

TEST(SimFaults, EveryNameInUseStillNamesItsFault) {
  struct Case {
    const char* name;
    TCameraFault fault;
  };
  const Case cases[] = {
      {"reject-account", TCameraFault::RejectAccount},
      {"wrong-password", TCameraFault::RejectAccount},  // the old name
      {"not-listening", TCameraFault::NotListening},
      {"never-answers", TCameraFault::NeverAnswers},
      {"redirect-upload", TCameraFault::RedirectUpload},
      {"close-mid-upload", TCameraFault::CloseMidUpload},
      {"never-returns", TCameraFault::NeverReturns},
      {"old-version", TCameraFault::OldVersion},
      {"slow-search", TCameraFault::SlowSearch},
      {"version-unreadable", TCameraFault::VersionUnreadable},
      {"account-reset", TCameraFault::AccountReset},
      {"mac-flood", TCameraFault::MacFlood},
      {"search-port-stream", TCameraFault::SearchPortStream},
      {"ctp-login-refused", TCameraFault::CtpLoginRefused},
      {"ctp-exit-refused", TCameraFault::CtpExitRefused},
      {"ctp-probe-unanswered", TCameraFault::CtpProbeUnanswered},
      {"ctp-data-refused", TCameraFault::CtpDataRefused},
      {"ctp-silent", TCameraFault::CtpSilent},
      {"ctp-continue", TCameraFault::CtpContinue},
      {"ctp-slow-answers", TCameraFault::CtpSlowAnswers},
      {"ctp-continue-flood", TCameraFault::CtpContinueFlood},
      {"wifi-scan-refused", TCameraFault::WifiScanRefused},
      {"wifi-scan-result-drops", TCameraFault::WifiScanResultDrops},
      {"restore-defaults-refused", TCameraFault::RestoreDefaultsRefused},
      {"network-settings-refused", TCameraFault::NetworkSettingsRefused},
      {"network-settings-noise", TCameraFault::NetworkSettingsNoise},
      {"network-settings-silent", TCameraFault::NetworkSettingsSilent},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.fault, ParseCameraFault(c.name)) << c.name;
  }
  EXPECT_EQ("reject-account", CameraFaultName(TCameraFault::RejectAccount));
  for (const char* unknown : {"", "ctp-close-mid-transfer", "Reject-Account", "reject-account "}) {
    EXPECT_EQ(std::nullopt, ParseCameraFault(unknown)) << unknown;
  }

  const std::pair<const char*, TRepoFault> repo[] = {
      {"down", TRepoFault::Down},
      {"catalog-404", TRepoFault::Catalog404},
      {"wrong-md5", TRepoFault::WrongMd5},
      {"stall", TRepoFault::Stall},
      {"replayed-signature", TRepoFault::ReplayedSignature},
  };
  for (const auto& [name, fault] : repo) EXPECT_EQ(fault, ParseRepoFault(name)) << name;
  EXPECT_EQ(std::nullopt, ParseRepoFault("reject-account"));
}

// A declared fault cannot be left out: each has a name of its own, written as the man page test
// finds it (lower-case letters, digits and "-"), which the lookup takes back to it, which the
// --fault help lists, and which a scenario file turns on.
TEST(SimFaults, EveryDeclaredFaultIsReachedByItsName) {
  const std::vector<std::string> help = CameraFaultNames();
  std::set<std::string> names;
  std::set<TCameraFault> faults;
  nlohmann::json scenario_faults = nlohmann::json::array();
  for (const auto& row : CameraFaults()) {
    const std::string name(row.name);
    EXPECT_TRUE(names.insert(name).second) << name << " is declared twice";
    EXPECT_TRUE(faults.insert(row.fault).second) << name << ": its fault has another name too";
    EXPECT_EQ(std::string::npos, name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-"))
        << name;
    EXPECT_FALSE(row.what.empty()) << name;
    EXPECT_EQ(row.fault, ParseCameraFault(name)) << name;
    EXPECT_EQ(name, CameraFaultName(row.fault));
    EXPECT_NE(help.end(), std::find(help.begin(), help.end(), name)) << name;
    scenario_faults.push_back(name);
  }
  EXPECT_EQ(names.size(), help.size());
  nlohmann::json root;
  root["cameras"] = nlohmann::json::array({{{"series", "R"}, {"faults", scenario_faults}}});
  const TScenario scenario = ParseScenario(root, "/tmp");
  EXPECT_EQ(faults, scenario.cameras.at(0).faults);

  std::set<std::string> repo_names;
  for (const auto& row : RepoFaults()) {
    EXPECT_TRUE(repo_names.insert(std::string(row.name)).second) << row.name;
    EXPECT_EQ(row.fault, ParseRepoFault(row.name)) << row.name;
  }
  EXPECT_EQ(repo_names.size(), RepoFaultNames().size());
}

// A fault of a side the series lacks (series K's command service, series R's configuration calls)
// would do nothing at all: such a camera does not start, and the message names the series that
// can take it.
TEST(SimFaults, AFaultOfASideTheSeriesLacksStopsTheCamera) {
  struct Case {
    TSimSeries series;
    TCameraFault fault;
    const char* able;  // nullptr: the series takes the fault
  };
  const Case cases[] = {
      {TSimSeries::K, TCameraFault::CtpLoginRefused, nullptr},
      {TSimSeries::M, TCameraFault::CtpLoginRefused, "series K only"},
      {TSimSeries::R, TCameraFault::CtpSilent, "series K only"},
      {TSimSeries::R, TCameraFault::NetworkSettingsRefused, nullptr},
      {TSimSeries::P, TCameraFault::WifiScanRefused, "series R only"},
      {TSimSeries::K, TCameraFault::NetworkSettingsSilent, "series R only"},
      {TSimSeries::M, TCameraFault::RejectAccount, nullptr},
      {TSimSeries::K, TCameraFault::NeverReturns, nullptr},
  };
  for (const Case& c : cases) {
    const std::string mismatch = FaultMismatch(c.series, c.fault);
    const std::string what = SeriesText(c.series) + " " + CameraFaultName(c.fault);
    if (!c.able) {
      EXPECT_EQ("", mismatch) << what;
      continue;
    }
    EXPECT_NE(std::string::npos, mismatch.find(c.able)) << what << ": " << mismatch;
    EXPECT_NE(std::string::npos, mismatch.find("\"" + CameraFaultName(c.fault) + "\""))
        << what << ": " << mismatch;
  }

  TCameraConfig config;
  config.series = TSimSeries::M;
  config.ip = "127.0.0.1";
  config.faults.insert(TCameraFault::CtpLoginRefused);
  TSimCamera camera(config, nullptr);
  try {
    camera.Start();
    ADD_FAILURE() << "a series M camera started with a fault of series K";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string::npos, std::string(error.what()).find("ctp-login-refused"))
        << error.what();
  }
}

}  // namespace
}  // namespace camlift::sim
