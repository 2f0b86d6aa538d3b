// SPDX-License-Identifier: Apache-2.0
// A repository, or a network path, that lies or stalls gets nothing: a signature holds only for
// the folder it was made for, a signature that cannot be fetched is said as what happened, every
// transfer ends within its bound however slowly the bytes come, and a CTP peer that floods the
// session with "REPLY Continue", or answers every block late, does not hold the worker. Each case
// asserts what the attacker got (archive requests, uploads) and that the run ended within a
// generous bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>

#include "e2e_site.h"
#include "sim_signing.h"

namespace camlift::test {
namespace {

using sim::TCameraConfig;
using sim::TCameraFault;
using sim::TFirmwareKind;
using sim::TRepoFault;
using sim::TSimSeries;

// Each run here takes well under two seconds at the end-to-end time scale; one that takes this
// long waits somewhere without a bound (a trickle of one byte every 30 ms lasts minutes).
constexpr int kBoundMs = 20000;

const std::string kNoCatalogue = "Failed to read version information of the latest rom.";
const std::string kNoRom = "Failed to get ROM for upgrading.";
const std::string kNoUpgradeMode = "IP Camera access to upgrade the mode of failure!";
const std::string kUnsigned =
    "The firmware catalogue is refused: repository keys are configured, but the catalogue has no "
    "signature:";
const std::string kBadSignature =
    "The firmware catalogue is refused: its signature does not verify with any configured "
    "repository key:";
const std::string kSignatureNotFetched =
    "The firmware catalogue is refused: its signature could not be fetched:";
const std::string kTooSlow =
    "The firmware repository sent too slowly or for too long; the transfer was stopped:";

struct TTimedRun {
  TProcessResult result;
  long elapsed_ms = 0;
  std::vector<std::string> log;
};

// camlift upgrade as TE2eSite runs it, ended by force past the bound.
TTimedRun UpgradeWithin(const TE2eSite& site, const sim::TSimCamera& camera,
                        std::vector<std::string> extra = {}) {
  std::vector<std::string> args = site.UpgradeArgs(camera, std::move(extra));
  args.insert(args.begin(), CAMLIFT_EXE);
  const auto start = std::chrono::steady_clock::now();
  TTimedRun run;
  run.result = RunProcess(args,
                          {{"CAMLIFT_TIME_SCALE", kE2eTimeScale},
                           {"LC_ALL", "C"},
                           {"XDG_CONFIG_HOME", site.Root() + "config"},
                           {"CAMLIFT_REPOSITORY_URL", ""},
                           {"CAMLIFT_PASSWORD", ""}},
                          "", kBoundMs + 5000);
  run.elapsed_ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - start)
                                         .count());
  run.log = LogTexts(run.result.out);
  return run;
}

std::size_t Requests(const TE2eSite& site, const std::string& ending) {
  const auto records = site.Records();
  return static_cast<std::size_t>(std::count_if(records.begin(), records.end(), [&](auto& r) {
    return r.value("role", "") == "repository" && r.value("target", "").ends_with(ending);
  }));
}

std::string MakeKey(const std::string& path) {
  std::string public_key, error;
  if (!sim::RepoKeygen(path, public_key, error)) throw std::runtime_error(error);
  return public_key;
}

void Sign(const std::string& key, const std::vector<std::string>& files) {
  std::string error;
  if (!sim::RepoSign(key, files, error)) throw std::runtime_error(error);
}

// OEM folder A's signed catalogue (and its archives) served in folder B's place: the signature
// names A's folder, so B's cameras never take A's firmware, although both folders share the
// model's section and the site's key signed both.
TEST(HostileRepository, ACatalogueReplayedIntoAnotherFolderIsRefused) {
  TE2eSite site;
  const auto acme = site.AddFirmware(TSimSeries::P, TFirmwareKind::Ui, "acme", "SIM100", "1.0.0.9");
  const auto brand =
      site.AddFirmware(TSimSeries::P, TFirmwareKind::Ui, "brand", "SIM100", "1.0.0.2");
  const std::string key = site.Root() + "site.key";
  site.WriteOptions("[Global]\r\nrepository_keys=" + MakeKey(key) + "\r\n");
  Sign(key, {acme.catalogue_path, brand.catalogue_path});
  TCameraConfig config;
  config.series = TSimSeries::P;
  config.oem = "brand";
  auto& camera = site.AddCamera(config);

  site.StartRepository({TRepoFault::ReplayedSignature});
  const TTimedRun run = UpgradeWithin(site, camera, {"--ui"});
  EXPECT_EQ(1, run.result.exit_code) << run.result.out << run.result.err;
  ASSERT_GE(run.log.size(), 2u) << run.result.out;
  EXPECT_EQ(kNoCatalogue, run.log[run.log.size() - 2]);
  EXPECT_EQ(kBadSignature + site.RepositoryUrl() + "brand/firmware.txt.sig", run.log.back());
  EXPECT_EQ(0u, Requests(site, ".zip"));
  EXPECT_TRUE(site.Uploads().empty());
  EXPECT_EQ("1.0.0.1", camera.state().ui_version);

  // Served from its own folder, the same camera takes its own firmware.
  site.StartRepository();
  const TTimedRun own = UpgradeWithin(site, camera, {"--ui"});
  EXPECT_EQ(0, own.result.exit_code) << own.result.out << own.result.err;
  EXPECT_EQ("1.0.0.2", camera.state().ui_version);
}

// Only a repository that says there is no signature file makes the catalogue "unsigned"; an
// error status, a closed connection or a trickle is said as what it was.
TEST(HostileRepository, ASignatureThatCannotBeFetchedIsSaidAsWhatHappened) {
  TE2eSite site;
  const auto added =
      site.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "SIM100", "1.0.0.2");
  const std::string key = site.Root() + "site.key";
  site.WriteOptions("[Global]\r\nrepository_keys=" + MakeKey(key) + "\r\n");
  TCameraConfig config;
  config.series = TSimSeries::P;
  auto& camera = site.AddCamera(config);
  struct Row {
    const char* name;
    std::set<TRepoFault> faults;
    bool signed_catalogue;
    std::vector<std::string> reasons;  // after the address; any of them
  };
  const Row rows[] = {
      {"no signature file", {}, false, {""}},
      {"500", {TRepoFault::Signature500}, true, {" (HTTP 500)"}},
      {"closed unanswered",
       {TRepoFault::SignatureClose},
       true,
       {" (Server returned nothing (no headers, no data))",
        " (Recv failure: Connection reset by peer)"}},
      {"trickle",
       {TRepoFault::SlowSignature},
       true,
       {" (the transfer was too slow)", " (the transfer took too long)"}},
  };
  for (const Row& r : rows) {
    std::filesystem::remove(added.catalogue_path + ".sig");
    if (r.signed_catalogue) Sign(key, {added.catalogue_path});
    site.StartRepository(r.faults);
    const TTimedRun run = UpgradeWithin(site, camera);
    EXPECT_EQ(1, run.result.exit_code) << r.name << run.result.out;
    EXPECT_LT(run.elapsed_ms, kBoundMs) << r.name;
    ASSERT_GE(run.log.size(), 2u) << r.name << run.result.out;
    const std::string url = site.RepositoryUrl() + "system/firmware.txt.sig";
    const std::string line = run.log.back();
    const std::string start = r.signed_catalogue ? kSignatureNotFetched : kUnsigned;
    EXPECT_TRUE(
        std::any_of(r.reasons.begin(), r.reasons.end(),
                    [&](const std::string& reason) { return line == start + url + reason; }))
        << r.name << ": " << line;
    EXPECT_EQ(kNoCatalogue, run.log[run.log.size() - 2]) << r.name;
  }
  EXPECT_EQ(0u, Requests(site, ".zip"));
  EXPECT_TRUE(site.Uploads().empty());
}

// A repository that sends one byte every 15 s (30 ms at this scale: far below any stall timer)
// meets the minimum rate: the run ends, says so, and nothing reaches the camera.
TEST(HostileRepository, ATricklingRepositoryDoesNotHoldTheRun) {
  TE2eSite site;
  const auto added =
      site.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "SIM100", "1.0.0.2");
  // A catalogue of a few kilobytes, so that its trickle alone would last minutes.
  WriteFile(added.catalogue_path,
            ReadFile(added.catalogue_path) + "; " + std::string(3000, '=') + "\r\n");
  TCameraConfig config;
  config.series = TSimSeries::P;
  auto& camera = site.AddCamera(config);
  struct Row {
    const char* name;
    TRepoFault fault;
    std::string file;  // below the repository
    std::string last;
  };
  const Row rows[] = {
      {"catalogue", TRepoFault::SlowCatalogue, "system/firmware.txt", kNoCatalogue},
      {"archive", TRepoFault::SlowArchive, "system/fw_P_sys_1.0.0.2.zip", kNoRom},
  };
  for (const Row& r : rows) {
    site.StartRepository({r.fault});
    const TTimedRun run = UpgradeWithin(site, camera);
    EXPECT_EQ(1, run.result.exit_code) << r.name << run.result.out;
    EXPECT_LT(run.elapsed_ms, kBoundMs) << r.name;
    ASSERT_GE(run.log.size(), 2u) << r.name << run.result.out;
    const std::string start = kTooSlow + site.RepositoryUrl() + r.file + " (the transfer ";
    EXPECT_TRUE(run.log.back() == start + "was too slow)" ||
                run.log.back() == start + "took too long)")
        << r.name << ": " << run.log.back();
    EXPECT_EQ(r.last, run.log[run.log.size() - 2]) << r.name;
  }
  EXPECT_TRUE(site.Uploads().empty());
  EXPECT_FALSE(
      std::filesystem::exists(site.DataDir() + "Bin/" + added.md5 + "/fw_P_sys_1.0.0.2.bin"));
}

// A camera that keeps the receive queue full with "REPLY Continue" (each filling one read, so
// that no receive ever has to wait) is left after the Continue limit.
TEST(HostileRepository, AFloodOfReplyContinueDoesNotHoldTheWorker) {
  TE2eSite site;
  site.AddFirmware(TSimSeries::K, TFirmwareKind::System, "system", "1.0.X.1", "1.0.2.1");
  site.StartRepository();
  TCameraConfig config;
  config.series = TSimSeries::K;
  config.password = "531642";
  config.faults = {TCameraFault::CtpContinueFlood};
  auto& camera = site.AddCamera(config);
  const TTimedRun run = UpgradeWithin(site, camera);
  EXPECT_FALSE(run.result.timed_out);
  EXPECT_LT(run.elapsed_ms, kBoundMs);
  EXPECT_EQ(1, run.result.exit_code) << run.result.out;
  ASSERT_FALSE(run.log.empty()) << run.result.out;
  EXPECT_EQ(kNoUpgradeMode, run.log.back());
  EXPECT_EQ("1.0.0.1", camera.state().sys_version);
}

// A camera that answers every block of a large package just inside the reply time-out (7 s of
// 8) would hold the run for hours; the package has the time an upload of its size may take.
TEST(HostileRepository, ACameraThatAnswersEveryBlockLateIsLeftAtTheUploadLimit) {
  TE2eSite site;
  // 600 KB: 429 blocks of 1400 bytes, 50 minutes at 7 s each, against a limit of 5 minutes and
  // what 600 KB take at 16 KiB a second.
  sim::TRepoAddOptions options;
  options.root = site.Root() + "repo/";
  options.folder = "system";
  options.section = "1.0.X.1";
  options.series = TSimSeries::K;
  options.version = "1.0.2.1";
  options.size = 600000;
  sim::TRepoAddResult added;
  std::string error;
  ASSERT_TRUE(sim::RepoAdd(options, added, error)) << error;
  site.StartRepository();
  TCameraConfig config;
  config.series = TSimSeries::K;
  config.password = "531642";
  config.faults = {TCameraFault::CtpSlowAnswers};
  auto& camera = site.AddCamera(config);
  const TTimedRun run = UpgradeWithin(site, camera);
  EXPECT_LT(run.elapsed_ms, kBoundMs);
  EXPECT_EQ(1, run.result.exit_code) << run.result.out;
  ASSERT_FALSE(run.log.empty()) << run.result.out;
  EXPECT_EQ("Error on reading ROM for upgrade.", run.log.back());
  EXPECT_EQ("1.0.0.1", camera.state().sys_version);
}

}  // namespace
}  // namespace camlift::test
