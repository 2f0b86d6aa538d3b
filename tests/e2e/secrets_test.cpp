// SPDX-License-Identifier: Apache-2.0
// No password in anything camlift writes. Cameras of every series get a marker password; camlift
// then upgrades them, fails against them, searches for them and configures them, and everything
// it wrote is searched for the marker (also in its Base64 and percent-encoded forms):
//   - standard output and standard error of every run (log lines, JSON, usage and error texts);
//   - every file below the test's folder: the work folder (catalogue copy, "Bin/", records,
//     downloads, the batch logs and the batch summary JSON) and the options folder.
// Not searched: the simulator's record and the repository tree. The record holds what the
// cameras received, and the wire format carries the account (query strings of series M and R,
// the Basic header of series P, the CTP login): the test checks that it does, which shows the
// marker really went through the program. The camera list given to a batch run is the user's
// own file and lives outside the searched folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_site.h"
#include "r730_sim_config.h"
#include "search_responder_ext.h"
#include "support/host_port_lock.h"
#include "util/base64.h"

namespace camlift::test {
namespace {

namespace fs = std::filesystem;
using sim::TCameraConfig;
using sim::TCameraFault;
using sim::TFirmwareKind;
using sim::TSimSeries;

// Lower case: the upgraders keep passwords lower-cased, as the cameras compare them.
constexpr const char* kMarker = "zq7-marker-pw-41";
constexpr const char* kDdnsMarker = "zq7-ddns-pw-42";

// The forms a password could take in what a program writes.
std::vector<std::string> Forms(const std::string& secret) {
  return {secret, Base64EncodeOneLine("admin:" + secret), Base64EncodeOneLine(secret)};
}

class Secrets : public ::testing::Test {
 protected:
  void Expect(const std::string& what, const std::string& text) {
    for (const std::string& secret : {std::string(kMarker), std::string(kDdnsMarker)}) {
      for (const std::string& form : Forms(secret)) {
        EXPECT_EQ(std::string::npos, text.find(form)) << what << " holds " << form << ":\n" << text;
      }
    }
  }
  void ExpectRun(const std::string& what, const TProcessResult& run) {
    EXPECT_FALSE(run.timed_out) << what;
    Expect(what + " (stdout)", run.out);
    Expect(what + " (stderr)", run.err);
    ++runs_;
  }

  TE2eSite site_;
  int runs_ = 0;
};

TEST_F(Secrets, NothingCamliftWritesHoldsThePassword) {
  // One camera per series and kind of account, each with the marker password.
  std::vector<sim::TSimCamera*> cameras;
  for (TSimSeries series : {TSimSeries::M, TSimSeries::P, TSimSeries::R, TSimSeries::K}) {
    TCameraConfig config;
    config.series = series;
    config.password = kMarker;
    cameras.push_back(&site_.AddCamera(config));
  }
  site_.AddFirmware(TSimSeries::M, TFirmwareKind::System, "system", "1.0.0", "1.0.0.2");
  site_.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "SIM100", "1.0.0.2");
  site_.AddFirmware(TSimSeries::K, TFirmwareKind::System, "system", "1.0.X.1", "1.0.2.1");
  site_.StartRepository();

  // Upgrades that work (series R shares the P catalogue section and takes the P firmware's
  // model; it may fail at the upload, which is a run like any other here).
  for (sim::TSimCamera* camera : cameras) {
    const std::string series = sim::SeriesText(camera->config().series);
    const TProcessResult run = site_.Upgrade(*camera);
    ExpectRun("upgrade " + series, run);
    if (camera->config().series != TSimSeries::R) {
      EXPECT_EQ(0, run.exit_code) << series << run.out << run.err;
    }
    ExpectRun("upgrade --ui " + series, site_.Upgrade(*camera, {"--ui"}));
  }
  // Upgrades that fail: a refused account, and the refused account's wrong password.
  for (TSimSeries series : {TSimSeries::P, TSimSeries::R}) {
    TCameraConfig config;
    config.series = series;
    config.password = kMarker;
    config.faults = {TCameraFault::RejectAccount};
    ExpectRun("refused " + sim::SeriesText(series), site_.Upgrade(site_.AddCamera(config)));
  }
  // Usage errors echo what they refuse; the password must not be among it.
  ExpectRun("usage", site_.Run({"upgrade", "--series", "X", "--password", kMarker, "--ip", "1"}));
  ExpectRun("usage port", site_.Run({"upgrade", "--series", "P", "--ip", "127.0.0.1", "--port", "x",
                                     "--password", kMarker}));

  // A batch: its logs and its summary go into the work folder.
  TTempFolder outside;
  std::string list = "ip,port,series,user,password\n";
  for (sim::TSimCamera* camera : cameras) {
    list += camera->config().ip + "," + std::to_string(camera->http_port()) + "," +
            sim::SeriesText(camera->config().series) + ",admin," + kMarker + "\n";
  }
  WriteFile(outside.path() + "cameras.csv", list);
  const TProcessResult batch =
      site_.Run({"upgrade", "--from", outside.path() + "cameras.csv", "--summary-json",
                 site_.DataDir() + "summary.json", "--data-dir", site_.DataDir(), "--repository",
                 site_.RepositoryUrl(), "--yes"});
  ExpectRun("batch", batch);
  if (batch.exit_code != 2) {
    EXPECT_TRUE(fs::exists(site_.DataDir() + "summary.json")) << batch.out << batch.err;
  }

  // The search lists cameras (their DDNS accounts included in what they answer).
  {
    const THostPortLock port_lock("udp-3565");  // the series R search sends from port 3565
    ExpectRun("search --json", site_.Run({"search", "--json", "--passes", "2"}));
  }

  // The series R configuration calls, against a camera whose DDNS password is a marker too.
  auto state = std::make_shared<sim::TR730SimState>();
  state->Update([](sim::TR730SimSettings& s) {
    s.ddns_pwd = kDdnsMarker;
    s.wifi_wpa_psk = kDdnsMarker;
  });
  TCameraConfig r;
  r.series = TSimSeries::R;
  r.ip = site_.NextAddress();
  TE2eSite::GiveOwnIdentity(r);
  r.port = 0;
  r.upload_port = 0;
  r.password = kMarker;
  auto recorder = std::make_shared<sim::TSimRecorder>();
  sim::TSimCamera r730(r, recorder,
                       {sim::MakeSearchResponderExtension, sim::R730ConfigExtension(state)});
  r730.Start();
  for (const char* sub : {"check-login", "wifi-get", "ddns-get", "wifi-scan"}) {
    for (const std::string& password : {std::string(kMarker), std::string("wrong") + kMarker}) {
      for (const bool json : {true, false}) {
        std::vector<std::string> args = {"r730",       sub,      "--ip",
                                         r.ip,         "--port", std::to_string(r730.http_port()),
                                         "--password", password};
        if (json) args.push_back("--json");
        ExpectRun(std::string("r730 ") + sub, site_.Run(args));
      }
    }
  }
  r730.Stop();

  // Every file below the test's folder but the repository's.
  int files = 0;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(site_.Root(), ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string path = it->path().string();
    if (path.starts_with(site_.Root() + "repo")) {
      it.disable_recursion_pending();
      continue;
    }
    if (!it->is_regular_file()) continue;
    Expect(path, ReadFile(path));
    ++files;
  }
  EXPECT_GT(files, 0);
  EXPECT_GT(runs_, 20);

  // The marker did reach the cameras: the search above was not looking for something that
  // never went anywhere.
  std::string record;
  for (const auto& entry : site_.Records()) record += entry.dump();
  for (const auto& entry : recorder->Entries()) record += entry.dump();
  EXPECT_NE(std::string::npos, record.find(kMarker));
}

}  // namespace
}  // namespace camlift::test
