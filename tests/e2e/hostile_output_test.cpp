// SPDX-License-Identifier: Apache-2.0
// What cameras and repositories say reaches a terminal, a log or a file only cleaned, and the
// account of a repository address reaches none of them.
//   - A repository address with "user:password@" (--repository, CAMLIFT_REPOSITORY_URL): every
//     run that names it (refusal lines, status, the dry run's summary, a batch's logs and summary,
//     fetch, paths) shows it as "http://***@host/FM/"; the account is in no output and in no
//     file below the test's folder.
//   - Camera and catalogue texts carrying escape sequences, carriage returns and C1 controls
//     (names, models, versions, Wi-Fi and DDNS texts): search, status, upgrade, batch logs,
//     fetch and r730 show them, but without a single control character.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_site.h"
#include "pk2_builder.h"
#include "platform/timing.h"
#include "r730_sim_config.h"
#include "search_responder_ext.h"
#include "sim_signing.h"
#include "support/host_port_lock.h"

namespace camlift::test {
namespace {

namespace fs = std::filesystem;
using sim::TCameraConfig;
using sim::TFirmwareKind;
using sim::TSimSeries;

// Each test runs many programs, each reading cameras: page reads get 400 ms rather than the
// 100 ms of the usual end-to-end scale, so that a busy machine does not make a camera silent.
constexpr const char* kTimeScale = "0.02";

// site.Run at kTimeScale, with env added.
TProcessResult RunAt(TE2eSite& site, const std::vector<std::string>& args,
                     std::map<std::string, std::string> env = {}) {
  env["CAMLIFT_TIME_SCALE"] = kTimeScale;
  return site.Run(args, "", env);
}

constexpr const char* kRepoUser = "repouser7q";
constexpr const char* kRepoPassword = "repomarker7q";

// The repository's address with an account in it.
std::string WithAccount(const std::string& url) {
  return "http://" + std::string(kRepoUser) + ":" + kRepoPassword + "@" + url.substr(7);
}
std::string Shown(const std::string& url) { return "http://***@" + url.substr(7); }

std::vector<std::string> FilesBelow(const std::string& root, const std::string& except) {
  std::vector<std::string> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->path().string().starts_with(except)) {
      it.disable_recursion_pending();
      continue;
    }
    if (it->is_regular_file()) files.push_back(it->path().string());
  }
  return files;
}

TEST(RepositoryAccount, NeverShownNorWritten) {
  TE2eSite site;
  SetTimeScaleForTesting(std::stod(kTimeScale));  // the simulated cameras keep the same clock
  site.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "SIM100", "1.0.0.2");
  site.StartRepository();
  TCameraConfig config;
  config.series = TSimSeries::P;
  const sim::TSimCamera& camera = site.AddCamera(config);
  const std::string ip = camera.config().ip;
  const std::string port = std::to_string(camera.http_port());
  const std::string data = site.DataDir();
  const std::string base = site.RepositoryUrl();
  const std::string url = WithAccount(base);
  const std::string list = site.Root() + "cameras.csv";
  WriteFile(list, "ip,port,series\n" + ip + "," + port + ",P\n");
  const std::vector<std::string> camera_args = {
      "--series", "P", "--ip", ip, "--port", port, "--password", "", "--data-dir", data};
  const auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };

  // Signed catalogues are asked for and this one has none: every run says so, with the address.
  const std::string key = site.Root() + "site.key";
  std::string public_key, error;
  ASSERT_TRUE(sim::RepoKeygen(key, public_key, error)) << error;
  site.WriteOptions("[Global]\r\nrepository_keys=" + public_key + "\r\n");
  const std::string refused_at = Shown(base) + "system/firmware.txt.sig";

  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    const char* where;  // "out", "err" or a file below data: where the address is shown
    std::string shown;
  };
  const std::map<std::string, std::string> env_url = {{"CAMLIFT_REPOSITORY_URL", url}};
  const std::vector<Case> cases = {
      {"upgrade",
       with(with({"upgrade"}, camera_args), {"--repository", url}),
       {},
       "out",
       refused_at},
      {"upgrade, address from the environment", with({"upgrade"}, camera_args), env_url, "out",
       refused_at},
      {"status", with(with({"status"}, camera_args), {"--repository", url}), {}, "err", refused_at},
      {"dry run",
       {"upgrade", "--from", list, "--dry-run", "--data-dir", data, "--repository", url,
        "--summary-json", data + "dry.json"},
       {},
       "out",
       refused_at},
      {"batch",
       {"upgrade", "--from", list, "--yes", "--data-dir", data, "--repository", url,
        "--summary-json", data + "batch.json"},
       {},
       "logs/",
       refused_at},
      {"fetch",
       {"fetch", "--series", "P", "--model", "SIM100", "--data-dir", data, "--repository", url},
       {},
       "err",
       refused_at},
      {"paths", {"paths", "--data-dir", data}, env_url, "out", Shown(base)},
  };
  for (const Case& c : cases) {
    const TProcessResult run = RunAt(site, c.args, c.env);
    ASSERT_FALSE(run.timed_out) << c.name;
    for (const std::string& text : {run.out, run.err}) {
      EXPECT_EQ(std::string::npos, text.find(kRepoPassword)) << c.name << ":\n" << text;
      EXPECT_EQ(std::string::npos, text.find(kRepoUser)) << c.name << ":\n" << text;
    }
    std::string shown_in = std::string(c.where) == "out" ? run.out : run.err;
    if (std::string(c.where) == "logs/") {
      for (const std::string& file : FilesBelow(data + "logs/", "\n")) shown_in += ReadFile(file);
    }
    EXPECT_NE(std::string::npos, shown_in.find(c.shown)) << c.name << ":\n" << shown_in;
  }
  // Nothing the program wrote holds the account: logs, summaries, the history, catalogue copies.
  const std::vector<std::string> files = FilesBelow(site.Root(), site.Root() + "repo");
  EXPECT_GE(files.size(), 4u);
  for (const std::string& file : files) {
    const std::string bytes = ReadFile(file);
    EXPECT_EQ(std::string::npos, bytes.find(kRepoPassword)) << file;
    EXPECT_EQ(std::string::npos, bytes.find(kRepoUser)) << file;
  }
}

// Where a control character hides in a text of lines (LF or CR LF at their ends).
std::string FirstControl(std::string text) {
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
    text.erase(at, 1);
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                    static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if ((c < 0x20 && c != '\n') || c == 0x7F || c1 || c == 0x9B) {
      return "byte " + std::to_string(c) + " at " + std::to_string(i) + ": ..." +
             text.substr(i < 20 ? 0 : i - 20, 40);
    }
  }
  return {};
}

// ESC [2J (clear the screen), an OSC title ended by BEL, a carriage return that would overwrite
// the line, and the C1 CSI both as UTF-8 and as a bare byte.
const std::string kHostile =
    "\x1b[2J\x1b]0;pwned\x07\rX\xc2\x9b"
    "31mY\x9b"
    "32mZ";
// The same without the ";" that ends a value on a series R page.
const std::string kHostileR =
    "\x1b[2J\x07\rX\xc2\x9b"
    "31mY\x9b"
    "32mZ";

TEST(OutsideTexts, ReachTheTerminalAndTheLogsClean) {
  TE2eSite site;
  SetTimeScaleForTesting(std::stod(kTimeScale));  // the simulated cameras keep the same clock
  // The catalogue's version of the P model is hostile too (a catalogue line ends at its CR).
  const sim::TRepoAddResult added =
      site.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "SIM100", "1.0.0.2");
  std::string catalogue = ReadFile(added.catalogue_path);
  const std::size_t version = catalogue.find("1.0.0.2");
  ASSERT_NE(std::string::npos, version);
  catalogue.insert(version + 7, kHostile);
  WriteFile(added.catalogue_path, catalogue);
  site.StartRepository();

  TCameraConfig named;  // what the search shows
  named.series = TSimSeries::P;
  named.device_name = "cam" + kHostile;
  named.sys_version = "1.0.0.1" + kHostile;
  const sim::TSimCamera& p = site.AddCamera(named);
  TCameraConfig oem;  // what status shows: its OEM text, as it has no model
  oem.series = TSimSeries::M;
  oem.model = "";
  oem.oem = "oem" + kHostile;
  const sim::TSimCamera& m = site.AddCamera(oem);

  // A series R camera whose Wi-Fi and DDNS texts are hostile.
  auto state = std::make_shared<sim::TR730SimState>();
  state->Update([](sim::TR730SimSettings& s) {
    s.wifi_ssid = "ssid" + kHostileR;
    s.ddns_user = "ddns" + kHostileR;
    // A line break would end the scan page's line: the scan reader refuses the whole page then.
    s.access_points[0].ssid =
        "ap\x1b[2J\x07X\xc2\x9b"
        "31mY";
  });
  TCameraConfig r;
  r.series = TSimSeries::R;
  r.ip = site.NextAddress();
  TE2eSite::GiveOwnIdentity(r);
  r.port = 0;
  r.upload_port = 0;
  sim::TSimCamera r730(r, nullptr,
                       {sim::MakeSearchResponderExtension, sim::R730ConfigExtension(state)});
  r730.Start();

  const std::string data = site.DataDir();
  const std::string list = site.Root() + "cameras.csv";
  WriteFile(list, "ip,port,series\n" + p.config().ip + "," + std::to_string(p.http_port()) +
                      ",P\n" + m.config().ip + "," + std::to_string(m.http_port()) + ",M\n");
  const auto at = [](const sim::TSimCamera& c) {
    return std::vector<std::string>{"--ip", c.config().ip, "--port", std::to_string(c.http_port())};
  };
  const auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* residue;  // what must still be shown of the text
  };
  const std::vector<Case> cases = {
      {"upgrade",
       with(with({"upgrade", "--series", "P", "--yes"}, at(p)),
            {"--data-dir", data, "--repository", site.RepositoryUrl()}),
       "1.0.0.1 [2J ]0;pwned  X 31mY"},
      {"status", with(with({"status", "--series", "M"}, at(m)), {"--data-dir", data}),
       "oem [2J ]0;pwned  X 31mY"},
      {"status csv",
       {"status", "--from", list, "--csv", "--data-dir", data, "--repository",
        site.RepositoryUrl()},
       "1.0.0.2 [2J ]0;pwned"},
      {"batch",
       {"upgrade", "--from", list, "--yes", "--data-dir", data, "--repository",
        site.RepositoryUrl()},
       "1.0.0.2 [2J ]0;pwned"},
      {"fetch",
       {"fetch", "--series", "P", "--model", "SIM100", "--data-dir", data, "--repository",
        site.RepositoryUrl()},
       "1.0.0.2 [2J ]0;pwned"},
      {"search", {"search", "--passes", "2"}, "cam [2J ]0;pwned  X"},
      {"r730 wifi-scan", with({"r730", "wifi-scan"}, at(r730)), "ap [2J X 31mY"},
      {"r730 wifi-get", with({"r730", "wifi-get"}, at(r730)), "ssid [2J  X 31mY"},
      {"r730 ddns-get", with({"r730", "ddns-get"}, at(r730)), "ddns [2J  X 31mY"},
      {"history", {"history", "--data-dir", data}, "1.0.0.1 [2J ]0;pwned  X 31mY"},
  };
  const THostPortLock port_lock("udp-3565");  // the series R search sends from port 3565
  for (const Case& c : cases) {
    const TProcessResult run = RunAt(site, c.args);
    ASSERT_FALSE(run.timed_out) << c.name;
    EXPECT_EQ("", FirstControl(run.out)) << c.name;
    EXPECT_EQ("", FirstControl(run.err)) << c.name;
    EXPECT_NE(std::string::npos, (run.out + run.err).find(c.residue)) << c.name << ":\n"
                                                                      << run.out << run.err;
  }
  // The batch logs too: one line per log line, and CR LF only at their ends.
  int logs = 0;
  for (const std::string& file : FilesBelow(data + "logs/", "\n")) {
    EXPECT_EQ("", FirstControl(ReadFile(file))) << file;
    ++logs;
  }
  EXPECT_GE(logs, 2);
  r730.Stop();
}

}  // namespace
}  // namespace camlift::test

namespace camlift::test {
namespace {

// The names in a package come from a repository: "camlift pk2 list" and the refusal of a
// malformed package show them without a control character.
TEST(OutsideTexts, PackageNamesReachTheTerminalClean) {
  TE2eSite site;
  const std::string hostile = "sys\x1B]0;owned\x07\r.img\xC2\x9B";
  const std::string good = site.Root() + "good.pk2";
  ASSERT_TRUE(sim::TPk2Builder().AddFile(hostile, "data").WriteTo(good));
  TProcessResult run = site.Run({"pk2", "list", good});
  ASSERT_EQ(0, run.exit_code) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("sys ]0;owned  .img \t4\t")) << run.out;
  // A package cut short inside the file's data names the file in its refusal.
  const std::string cut = site.Root() + "cut.pk2";
  const std::string bytes = sim::TPk2Builder().AddFile(hostile, "data").Bytes();
  WriteFile(cut, bytes.substr(0, bytes.size() - 2));
  run = site.Run({"pk2", "check", cut});
  EXPECT_NE(0, run.exit_code);
  EXPECT_NE(std::string::npos, run.err.find("file \"sys ]0;owned  .img \" announces")) << run.err;
  for (const std::string& out : {run.out, run.err}) {
    EXPECT_EQ(std::string::npos, out.find_first_of("\x1B\x07\r")) << out;
    EXPECT_EQ(std::string::npos, out.find("\xC2\x9B")) << out;
  }
}

}  // namespace
}  // namespace camlift::test
