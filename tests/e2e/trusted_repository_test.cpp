// SPDX-License-Identifier: Apache-2.0
// A repository that can be trusted: signed catalogues, SHA-256 beside MD5, and HTTPS with a
// verified certificate, each refusal before any archive is fetched or any byte reaches a camera.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "e2e_site.h"
#include "sim_signing.h"
#include "sim_tls.h"

namespace camlift::test {
namespace {

using sim::TCameraConfig;
using sim::TFirmwareKind;
using sim::TSimSeries;

const std::string kNoCatalogue = "Failed to read version information of the latest rom.";
const std::string kNoRom = "Failed to get ROM for upgrading.";
const std::string kUnsigned =
    "The firmware catalogue is refused: repository keys are configured, but the catalogue has no "
    "signature:";
const std::string kBadSignature =
    "The firmware catalogue is refused: its signature does not verify with any configured "
    "repository key:";
const std::string kBadKey =
    "A value of repository_keys in the options is not an Ed25519 public key and is ignored:";
const std::string kCertificate =
    "The certificate of the firmware repository could not be verified; nothing was fetched from "
    "it:";
const std::string kRedirect =
    "The firmware repository redirected from https to http; the redirect is refused:";

std::string MakeKey(const std::string& path) {
  std::string public_key, error;
  if (!sim::RepoKeygen(path, public_key, error)) throw std::runtime_error(error);
  return public_key;
}

void Sign(const std::string& key, const std::string& file) {
  std::string error;
  if (!sim::RepoSign(key, {file}, error)) throw std::runtime_error(error);
}

// A series P camera at 1.0.0.1 and its system firmware 1.0.0.2 in the site's repository.
class TrustedRepository : public ::testing::Test {
 protected:
  TrustedRepository()
      : added_(site_.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "SIM100",
                                 "1.0.0.2")) {}

  sim::TSimCamera& Camera() {
    TCameraConfig config;
    config.series = TSimSeries::P;
    return site_.AddCamera(config);
  }
  // Archives the repository was asked for so far.
  std::size_t ArchiveRequests() const {
    const auto records = site_.Records();
    return static_cast<std::size_t>(std::count_if(records.begin(), records.end(), [](auto& r) {
      return r.value("role", "") == "repository" && r.value("target", "").ends_with(".zip");
    }));
  }
  std::string Catalogue() const { return added_.catalogue_path; }

  TE2eSite site_;
  sim::TRepoAddResult added_;
};

TEST_F(TrustedRepository, OnlyACatalogueSignedWithAConfiguredKeyIsUsed) {
  const std::string key = site_.Root() + "site.key";
  const std::string other_key = site_.Root() + "other.key";
  const std::string public_key = MakeKey(key);
  MakeKey(other_key);
  // The site lists a key that is not its own first: any configured key may verify.
  site_.WriteOptions("[Global]\r\nrepository_keys=" + std::string(44 - 1, 'A') + "=, " +
                     public_key + "\r\n");
  site_.StartRepository();
  const std::string signature = Catalogue() + ".sig";
  const std::string sig_url = site_.RepositoryUrl() + "system/firmware.txt.sig";

  struct Row {
    std::string name;
    std::function<void()> prepare;
    std::string problem;
  };
  const Row rows[] = {
      {"unsigned", [&] { std::filesystem::remove(signature); }, kUnsigned},
      {"signed with another key", [&] { Sign(other_key, Catalogue()); }, kBadSignature},
      {"signature of other bytes",
       [&] {
         std::string bytes, error;
         ASSERT_TRUE(sim::SignBytes(key, ReadFile(Catalogue()) + " ", bytes, error)) << error;
         WriteFile(signature, bytes);
       },
       kBadSignature},
      {"catalogue changed after signing",
       [&] {
         Sign(key, Catalogue());
         WriteFile(Catalogue(), ReadFile(Catalogue()) + "; a late edit\r\n");
       },
       kBadSignature},
      {"signature cut short",
       [&] {
         Sign(key, Catalogue());
         WriteFile(signature, ReadFile(signature).substr(0, 63));
       },
       kBadSignature},
  };
  auto& camera = Camera();
  for (const Row& r : rows) {
    r.prepare();
    const TProcessResult run = site_.Upgrade(camera);
    EXPECT_EQ(1, run.exit_code) << r.name << "\n" << run.out;
    const auto log = LogTexts(run.out);
    ASSERT_GE(log.size(), 2u) << r.name;
    // The failure, then why.
    EXPECT_EQ(kNoCatalogue, log[log.size() - 2]) << r.name;
    EXPECT_EQ(r.problem + sig_url, log.back()) << r.name;
    // Nothing of a refused catalogue stays where a later run could read it.
    EXPECT_FALSE(std::filesystem::exists(site_.DataDir() + "Firmware.ini")) << r.name;
  }
  EXPECT_EQ(0u, ArchiveRequests());
  EXPECT_TRUE(site_.Uploads().empty());

  // Signed as it is served: the upgrade goes through.
  Sign(key, Catalogue());
  const TProcessResult run = site_.Upgrade(camera);
  EXPECT_EQ(0, run.exit_code) << run.out << run.err;
  EXPECT_EQ("1.0.0.2", camera.state().sys_version);
}

TEST_F(TrustedRepository, AKeyValueWithoutAUsableKeyRefusesEveryCatalogue) {
  // A mistyped key never turns the signature check off.
  const std::string key = site_.Root() + "site.key";
  MakeKey(key);
  Sign(key, Catalogue());
  site_.WriteOptions("[Global]\r\nrepository_keys=not-a-key\r\n");
  site_.StartRepository();
  const TProcessResult run = site_.Upgrade(Camera());
  EXPECT_EQ(1, run.exit_code) << run.out;
  const auto log = LogTexts(run.out);
  ASSERT_GE(log.size(), 3u);
  // The mistyped key is said first, so that the refusal does not send the user to the site.
  EXPECT_EQ(kBadKey + "not-a-key", log[log.size() - 3]);
  EXPECT_EQ(kBadSignature + site_.RepositoryUrl() + "system/firmware.txt.sig", log.back());
  EXPECT_EQ(0u, ArchiveRequests());
  EXPECT_TRUE(site_.Uploads().empty());
}

// status and the dry run of a batch read the catalogue as an upgrade does: a refused one is
// said once, with its reason, and no archive is fetched for it.
TEST_F(TrustedRepository, StatusAndDryRunReadOnlySignedCatalogues) {
  const std::string key = site_.Root() + "site.key";
  site_.WriteOptions("[Global]\r\nrepository_keys=" + MakeKey(key) + "\r\n");
  site_.StartRepository();
  auto& camera = Camera();
  const std::string ip = camera.config().ip;
  const std::string port = std::to_string(camera.http_port());
  const std::string list = site_.Root() + "cameras.csv";
  WriteFile(list, "ip,port,series,user,password\n" + ip + "," + port + ",P," +
                      camera.config().user + "," + camera.config().password + "\n");
  const std::vector<std::string> status = {"status",
                                           "--series",
                                           "P",
                                           "--ip",
                                           ip,
                                           "--port",
                                           port,
                                           "--user",
                                           camera.config().user,
                                           "--password",
                                           camera.config().password,
                                           "--data-dir",
                                           site_.DataDir(),
                                           "--repository",
                                           site_.RepositoryUrl(),
                                           "--csv"};
  const std::vector<std::string> dry_run = {
      "upgrade",    "--from",        list,           "--dry-run",
      "--data-dir", site_.DataDir(), "--repository", site_.RepositoryUrl()};
  const std::string refused = kUnsigned + site_.RepositoryUrl() + "system/firmware.txt.sig";
  const auto count = [](const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  };

  TProcessResult run = site_.Run(status);
  EXPECT_EQ(1u, count(run.err, "camlift: " + refused)) << run.err;
  EXPECT_EQ(std::string::npos, run.out.find("1.0.0.2")) << run.out;
  run = site_.Run(dry_run);
  EXPECT_EQ(1, run.exit_code) << run.out;
  EXPECT_EQ(1u, count(run.out, refused)) << run.out;
  EXPECT_EQ(0u, ArchiveRequests());

  Sign(key, Catalogue());
  run = site_.Run(status);
  EXPECT_EQ(std::string::npos, run.err.find("refused")) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("1.0.0.2")) << run.out;
  run = site_.Run(dry_run);
  EXPECT_EQ(0, run.exit_code) << run.out;
  EXPECT_EQ(1u, ArchiveRequests());
  EXPECT_TRUE(site_.Uploads().empty());
}

TEST_F(TrustedRepository, Sha256OfTheCatalogueAndOfTheCommandLine) {
  const std::string right = added_.sha256;
  ASSERT_EQ(64u, right.size());
  std::string upper = right;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string wrong(64, '0');
  site_.StartRepository();
  const std::string original = ReadFile(Catalogue());

  struct Row {
    std::string name;
    std::string sha256;
    int exit_code;
  };
  const Row rows[] = {
      {"SHA256 that does not match", wrong, 1},
      {"SHA256 in capitals", upper, 0},
  };
  for (const Row& r : rows) {
    TE2eSite fresh;  // a work folder of its own: nothing cached from the row before
    WriteFile(Catalogue(), original + "SHA256=" + r.sha256 + "\r\n");
    auto& camera = Camera();
    std::vector<std::string> args = {"upgrade",
                                     "--series",
                                     "P",
                                     "--ip",
                                     camera.config().ip,
                                     "--port",
                                     std::to_string(camera.http_port()),
                                     "--data-dir",
                                     fresh.DataDir(),
                                     "--repository",
                                     site_.RepositoryUrl()};
    const TProcessResult run = site_.Run(args);
    EXPECT_EQ(r.exit_code, run.exit_code) << r.name << "\n" << run.out;
    if (r.exit_code != 0) {
      EXPECT_EQ(kNoRom, FailureLineOf(LogTexts(run.out))) << r.name;
      EXPECT_FALSE(std::filesystem::exists(fresh.DataDir() + "Bin/fw_P_sys_1.0.0.2.bin"));
    }
  }
  EXPECT_EQ(1u, site_.Uploads().size());

  // A firmware cached on MD5 alone is not reused once the catalogue names a SHA-256 that its
  // archive does not have.
  WriteFile(Catalogue(), original);
  TProcessResult run = site_.Upgrade(Camera());
  ASSERT_EQ(0, run.exit_code) << run.out;
  WriteFile(Catalogue(), original + "SHA256=" + wrong + "\r\n");
  run = site_.Upgrade(Camera());
  EXPECT_EQ(1, run.exit_code) << run.out;
  EXPECT_EQ(kNoRom, FailureLineOf(LogTexts(run.out)));
  EXPECT_EQ(2u, site_.Uploads().size());

  // An archive brought along: --sha256 is checked like the catalogue's, and a value that is no
  // SHA-256 at all is a mistake on the command line.
  auto& camera = Camera();
  run = site_.Upgrade(camera, {"--firmware", added_.archive_path, "--sha256", right.substr(1)});
  EXPECT_EQ(2, run.exit_code) << run.out;
  EXPECT_NE(std::string::npos, run.err.find("64 hexadecimal digits")) << run.err;
  run = site_.Upgrade(camera, {"--firmware", added_.archive_path, "--sha256", wrong});
  EXPECT_EQ(1, run.exit_code) << run.out;
  EXPECT_EQ(kNoRom, FailureLineOf(LogTexts(run.out)));
  EXPECT_EQ(2u, site_.Uploads().size());
  run = site_.Upgrade(camera, {"--firmware", added_.archive_path, "--sha256", right});
  EXPECT_EQ(0, run.exit_code) << run.out;
  EXPECT_EQ("1.0.0.2", camera.state().sys_version);
}

// HTTPS: the test CA of the simulator, given or not, and a certificate for another name.
TEST_F(TrustedRepository, HttpsIsVerifiedAgainstTheGivenCa) {
  const std::string ca_dir = site_.Root() + "ca/";
  site_.StartRepository({}, ca_dir);
  ASSERT_EQ(0u, site_.RepositoryUrl().rfind("https://", 0));
  const std::string ca_file = sim::TestCaFile(ca_dir);

  // Without the site's CA the system's list does not know the certificate. Reading that list
  // is part of the handshake, which the connect time-out covers: a slower clock than the other
  // runs, so that a busy machine does not turn the refusal into a time-out.
  auto& refused = Camera();
  TProcessResult run = site_.Run(site_.UpgradeArgs(refused), "", {{"CAMLIFT_TIME_SCALE", "0.2"}});
  EXPECT_EQ(1, run.exit_code) << run.out;
  auto log = LogTexts(run.out);
  ASSERT_GE(log.size(), 2u);
  EXPECT_TRUE(log.back().starts_with(kCertificate + "SSL certificate problem: "))
      << run.out << run.err;
  EXPECT_EQ(kNoCatalogue, log[log.size() - 2]);

  // --ca-file and, for every user of the computer, repository_ca in the options.
  auto& camera = Camera();
  run = site_.Upgrade(camera, {"--ca-file", ca_file});
  EXPECT_EQ(0, run.exit_code) << run.out << run.err;
  EXPECT_EQ("1.0.0.2", camera.state().sys_version);
  site_.WriteOptions("[Global]\r\nrepository_ca=" + ca_file + "\r\n");
  auto& second = Camera();
  run = site_.Upgrade(second);
  EXPECT_EQ(0, run.exit_code) << run.out << run.err;
  EXPECT_EQ(2u, site_.Uploads().size());
}

TEST_F(TrustedRepository, HttpsCertificateForAnotherNameIsRefused) {
  const std::string ca_dir = site_.Root() + "ca/";
  site_.StartRepository({}, ca_dir, "firmware.example.invalid");
  const TProcessResult run = site_.Upgrade(Camera(), {"--ca-file", sim::TestCaFile(ca_dir)});
  EXPECT_EQ(1, run.exit_code) << run.out;
  const auto log = LogTexts(run.out);
  ASSERT_GE(log.size(), 2u);
  EXPECT_TRUE(log.back().starts_with(kCertificate)) << log.back();
  EXPECT_NE(std::string::npos, log.back().find("127.")) << log.back();
  EXPECT_TRUE(site_.Uploads().empty());
}

TEST_F(TrustedRepository, HttpsNeverFollowsARedirectToHttp) {
  const std::string ca_dir = site_.Root() + "ca/";
  site_.StartRepository({sim::TRepoFault::RedirectHttp}, ca_dir);
  const TProcessResult run = site_.Upgrade(Camera(), {"--ca-file", sim::TestCaFile(ca_dir)});
  EXPECT_EQ(1, run.exit_code) << run.out;
  const auto log = LogTexts(run.out);
  ASSERT_GE(log.size(), 2u);
  std::string http_url = site_.RepositoryUrl();
  http_url.replace(0, 5, "http");
  EXPECT_EQ(kRedirect + http_url + "system/firmware.txt", log.back());
  EXPECT_EQ(kNoCatalogue, log[log.size() - 2]);
  EXPECT_TRUE(site_.Uploads().empty());
}

// A plan and a status read take the catalogue only where the upgrade would: with repository
// keys configured, an unsigned catalogue fills no verified cache and shows no version.
TEST_F(TrustedRepository, DryRunAndStatusRefuseAnUnsignedCatalogue) {
  const std::string key = site_.Root() + "site.key";
  site_.WriteOptions("[Global]\r\nrepository_keys=" + MakeKey(key) + "\r\n");
  site_.StartRepository();
  auto& camera = Camera();
  const std::string list = site_.Root() + "cameras.csv";
  WriteFile(list, "ip,port,series,user,password\n" + camera.config().ip + "," +
                      std::to_string(camera.http_port()) + ",P," + camera.config().user + "," +
                      camera.config().password + "\n");
  const std::vector<std::string> where = {"--data-dir", site_.DataDir(), "--repository",
                                          site_.RepositoryUrl()};
  auto with = [&](std::vector<std::string> args) {
    args.insert(args.end(), where.begin(), where.end());
    return args;
  };
  const TProcessResult plan = site_.Run(with({"upgrade", "--from", list, "--dry-run"}));
  EXPECT_EQ(1, plan.exit_code) << plan.out;
  EXPECT_EQ(std::string::npos, plan.out.find("would upgrade")) << plan.out;
  const TProcessResult status = site_.Run(with({"status", "--from", list, "--csv"}));
  EXPECT_EQ(0, status.exit_code) << status.err;
  EXPECT_NE(std::string::npos, status.out.find(",no firmware\r\n")) << status.out;
  EXPECT_EQ(0u, ArchiveRequests());
  EXPECT_FALSE(std::filesystem::exists(site_.DataDir() + "Bin"));

  // Signed: the plan downloads and verifies the firmware.
  Sign(key, Catalogue());
  const TProcessResult signed_plan = site_.Run(with({"upgrade", "--from", list, "--dry-run"}));
  EXPECT_EQ(0, signed_plan.exit_code) << signed_plan.out;
  EXPECT_NE(std::string::npos, signed_plan.out.find("would upgrade 1.0.0.1 \u2192 1.0.0.2"))
      << signed_plan.out;
  EXPECT_TRUE(site_.Uploads().empty());
}

// The test CA's key is its owner's alone from its first byte on, and half a CA (a key whose
// certificate is gone) is never replaced by a new one.
TEST(SimTestCa, KeyIsTheOwnersAloneAndNeverReplaced) {
  TTempFolder temp;
  const std::string dir = temp.path() + "ca/";
  sim::MakeTestTlsContext(dir, "127.0.0.1");
  EXPECT_EQ(std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
            std::filesystem::status(dir + "ca.key").permissions());
  const std::string key = ReadFile(dir + "ca.key");
  std::filesystem::remove(sim::TestCaFile(dir));
  EXPECT_THROW(sim::MakeTestTlsContext(dir, "127.0.0.1"), std::runtime_error);
  EXPECT_EQ(key, ReadFile(dir + "ca.key"));
  EXPECT_FALSE(std::filesystem::exists(sim::TestCaFile(dir)));
}

}  // namespace
}  // namespace camlift::test
