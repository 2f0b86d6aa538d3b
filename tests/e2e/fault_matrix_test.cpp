// SPDX-License-Identifier: Apache-2.0
// The fault matrix: camlift upgrade against a repository, a camera and a CTP peer that fail in
// every way we know of. Every row must end within its bound, with its exact last log line and
// exit status, and never leave a firmware file that did not come out whole under its final name.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "ctp_extension.h"
#include "e2e_site.h"
#include "support/raw_http_server.h"
#include "util/md5.h"
#include "util/tools.h"

namespace camlift::test {
namespace {

namespace fs = std::filesystem;
using sim::TCameraConfig;
using sim::TCameraFault;
using sim::TFirmwareKind;
using sim::TRepoFault;
using sim::TSimSeries;

// Every row finishes in a second or two at the end-to-end time scale; a row that takes this long
// waits somewhere without a bound.
constexpr int kRowBoundMs = 20000;

const std::string kNoCamera =
    "IP Cam cannot be accessed, please check the device to make sure it work correctly.";
const std::string kNoCatalogue = "Failed to read version information of the latest rom.";
const std::string kNoRom = "Failed to get ROM for upgrading.";
const std::string kLoginFailed = "IP camera login failed, please check the user and password!";
const std::string kExitFailed = "IP camera exit current mode operation failed!";
const std::string kNoUpgradeMode = "IP Camera access to upgrade the mode of failure!";
const std::string kTransferFailed = "Error on reading ROM for upgrade.";
const std::string kNeverBack =
    "The camera did not answer again after the upgrade. Please check the camera.";

struct TRowRun {
  TProcessResult result;
  long elapsed_ms = 0;
};

// camlift upgrade for a camera at ip:port, as TE2eSite::Upgrade runs it, but with the row's
// bound as the time limit of the process.
TRowRun UpgradeWithin(const TE2eSite& site, TSimSeries series, const std::string& ip, int port,
                      const std::string& password, const std::string& repository) {
  if (port <= 0) port = 1;  // a camera that never listens has no port: one nothing uses
  std::vector<std::string> args = {CAMLIFT_EXE,    "upgrade",
                                   "--series",     sim::SeriesText(series),
                                   "--ip",         ip,
                                   "--port",       std::to_string(port),
                                   "--user",       "admin",
                                   "--password",   password,
                                   "--data-dir",   site.DataDir(),
                                   "--repository", repository};
  const auto start = std::chrono::steady_clock::now();
  TRowRun run;
  run.result = RunProcess(args,
                          {{"CAMLIFT_TIME_SCALE", kE2eTimeScale},
                           {"LC_ALL", "C"},
                           {"XDG_CONFIG_HOME", site.Root() + "config"},
                           {"CAMLIFT_REPOSITORY_URL", ""}},
                          "", kRowBoundMs + 5000);
  run.elapsed_ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - start)
                                         .count());
  return run;
}

// Bin/ holds only firmware that came out whole: no staging folder, and every firmware file (in
// the folder of its archive's MD5) has the record of the verified archive it came from, naming
// its size.
void ExpectNoPartialFirmware(const std::string& data_dir, const std::string& row) {
  std::error_code ec;
  for (const auto& entry : fs::recursive_directory_iterator(data_dir + "Bin/", ec)) {
    const std::string name = entry.path().filename().string();
    EXPECT_NE(0u, name.rfind(".unpack-", 0)) << row << ": staging folder left: " << name;
    EXPECT_NE(0u, name.rfind(".stage-", 0)) << row << ": staging folder left: " << name;
    if (!entry.is_regular_file() || name.ends_with(".verified")) continue;
    std::ifstream record(entry.path().string() + ".verified");
    std::string md5;
    std::uintmax_t size = 0;
    EXPECT_TRUE(record >> md5 >> size) << row << ": no verification record for " << name;
    EXPECT_EQ(size, fs::file_size(entry.path(), ec)) << row << ": " << name;
  }
}

// The last lines of the log, one per line of last ("\n" between them). A line that ends in "*"
// only has to begin with what comes before it (the reason the transfer library gives for a reset
// connection depends on when the reset meets it; addresses hold ports of the run).
void ExpectRow(const TRowRun& run, int exit_code, const std::string& last, const std::string& row) {
  EXPECT_FALSE(run.result.timed_out) << row;
  EXPECT_LT(run.elapsed_ms, kRowBoundMs) << row;
  EXPECT_EQ(exit_code, run.result.exit_code) << row << "\n" << run.result.out << run.result.err;
  const auto log = LogTexts(run.result.out);
  std::vector<std::string> wanted;
  for (std::size_t from = 0;;) {
    const std::size_t end = last.find('\n', from);
    wanted.push_back(last.substr(from, end - from));
    if (end == std::string::npos) break;
    from = end + 1;
  }
  ASSERT_GE(log.size(), wanted.size()) << row << run.result.err;
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    const std::string& line = log[log.size() - wanted.size() + i];
    const std::string& want = wanted[i];
    if (want.ends_with('*')) {
      const std::string prefix = want.substr(0, want.size() - 1);
      EXPECT_TRUE(line.starts_with(prefix) && line.size() > prefix.size()) << row << "\n"
                                                                           << run.result.out;
    } else {
      EXPECT_EQ(want, line) << row << "\n" << run.result.out;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Repository

// A series P camera and its system firmware 1.0.0.2, catalogued under the camera's model.
class RepositoryFaults : public ::testing::Test {
 protected:
  sim::TSimCamera& Camera(std::set<TCameraFault> faults = {}) {
    TCameraConfig config;
    config.series = TSimSeries::P;
    config.password = "531642";
    config.faults = std::move(faults);
    return site_.AddCamera(config);
  }
  sim::TRepoAddResult Firmware() {
    return site_.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "SIM100", "1.0.0.2");
  }
  TRowRun Upgrade(const sim::TSimCamera& camera, const std::string& repository) {
    return UpgradeWithin(site_, TSimSeries::P, camera.config().ip, camera.http_port(), "531642",
                         repository);
  }
  TE2eSite site_;
};

TEST_F(RepositoryFaults, EveryFaultOfTheSimulatedRepository) {
  struct Row {
    TRepoFault fault;
    std::string last;
  };
  // Each failure line is followed by its reason.
  const Row rows[] = {
      {TRepoFault::Down, kNoCatalogue + "\nThe download failed (*"},
      {TRepoFault::Catalog404, kNoCatalogue + "\nThe repository answered HTTP 404 for http*"},
      {TRepoFault::Catalog500, kNoCatalogue + "\nThe repository answered HTTP 500 for http*"},
      {TRepoFault::Archive404, kNoRom + "\nThe repository answered HTTP 404 for http*"},
      {TRepoFault::Archive500, kNoRom + "\nThe repository answered HTTP 500 for http*"},
      {TRepoFault::Stall, kNoRom + "\nThe repository stopped sending: nothing arrived for *"},
      {TRepoFault::WrongMd5, kNoRom + "\nThe MD5 checksum does not match: expected *"},
  };
  auto& camera = Camera();
  for (const Row& r : rows) {
    TE2eSite repository_site;  // a repository of its own for each fault
    repository_site.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "SIM100",
                                "1.0.0.2");
    repository_site.StartRepository({r.fault});
    const TRowRun run = Upgrade(camera, repository_site.RepositoryUrl());
    const std::string row = "repository fault " + std::to_string(static_cast<int>(r.fault));
    ExpectRow(run, 1, r.last, row);
    ExpectNoPartialFirmware(site_.DataDir(), row);
  }
  EXPECT_TRUE(site_.Uploads().empty());
}

// The catalogue has a cap of its own, well above a page's: a long catalogue is read whole, and
// one that reaches the cap is refused whole instead of being read up to a cut line.
TEST_F(RepositoryFaults, CatalogueIsReadWholeOrNotAtAll) {
  struct Row {
    std::string name;
    std::size_t padding_before;  // bytes of comments before the camera's section
    std::size_t padding_after;   // and after it
    int exit_code;
    std::string last;
  };
  const Row rows[] = {
      {"section behind 600000 bytes", 600000, 0, 0, "The camera now runs the version:1.0.0.2"},
      {"5 MiB catalogue, section first", 0, 5u << 20, 1,
       "The repository sent more than 4194304 bytes; the download was stopped."},
  };
  for (const Row& r : rows) {
    TE2eSite site;
    TCameraConfig config;
    config.series = TSimSeries::P;
    config.password = "531642";
    auto& camera = site.AddCamera(config);
    const auto added =
        site.AddFirmware(TSimSeries::P, TFirmwareKind::System, "system", "SIM100", "1.0.0.2");
    auto padding = [](std::size_t size) {
      std::string text;
      while (text.size() < size) text += "; padding of a catalogue that goes on and on\r\n";
      return text;
    };
    WriteFile(added.catalogue_path, padding(r.padding_before) + ReadFile(added.catalogue_path) +
                                        padding(r.padding_after));
    site.StartRepository();
    // A slower clock than the other rows: on a busy machine (a sanitizer build beside other
    // tests) a pause of a second or two in a transfer of 5 MB is no stall of the repository.
    const TProcessResult run =
        site.Run(site.UpgradeArgs(camera), "", {{"CAMLIFT_TIME_SCALE", "0.2"}});
    EXPECT_EQ(r.exit_code, run.exit_code) << r.name << run.out << run.err;
    ASSERT_FALSE(LogTexts(run.out).empty()) << r.name;
    EXPECT_EQ(r.last, LogTexts(run.out).back()) << r.name;
    if (r.exit_code != 0) {
      std::error_code ec;
      EXPECT_EQ(0u, fs::file_size(site.DataDir() + "Firmware.ini", ec)) << r.name;
      EXPECT_TRUE(site.Uploads().empty()) << r.name;
    }
  }
}

TEST_F(RepositoryFaults, RedirectsToAnythingButHttpAreNeverFollowed) {
  auto& camera = Camera();
  // A good archive with its true checksum in the catalogue: followed, the redirect would work.
  const sim::TRepoAddResult added = Firmware();
  const std::string md5 = FileMd5Hex(added.archive_path).value_or("");
  const std::string catalogue =
      "[SIM100]\r\nSysVer=1.0.0.2\r\nMD5=" + md5 + "\r\nSysFile=fw_P_sys_1.0.0.2.zip\r\n";
  struct Row {
    std::string name;
    bool catalogue_redirects;
    std::string location;
    std::string last;
  };
  const Row rows[] = {
      {"archive to file:", false, "file://" + added.archive_path,
       kNoRom + "\nThe repository answered HTTP 302 for http*"},
      {"archive to ftp:", false, "ftp://127.0.0.1:1/fw_P_sys_1.0.0.2.zip",
       kNoRom + "\nThe repository answered HTTP 302 for http*"},
      {"catalogue to file:", true, "file://" + added.catalogue_path,
       kNoCatalogue + "\nThe repository answered HTTP 302 for http*"},
  };
  for (const Row& r : rows) {
    TRawHttpServer repository([&](const std::string& request) {
      const bool is_catalogue = request.find("/firmware.txt") != std::string::npos;
      if (is_catalogue != r.catalogue_redirects) return HttpReply(200, "OK", catalogue);
      return HttpReply(302, "Found", "", "Location: " + r.location + "\r\n");
    });
    const TRowRun run = Upgrade(camera, repository.url("/FM/"));
    ExpectRow(run, 1, r.last, r.name);
    ExpectNoPartialFirmware(site_.DataDir(), r.name);
  }
  EXPECT_TRUE(site_.Uploads().empty());
}

// ---------------------------------------------------------------------------------------------
// Camera (series P; the other series share these steps)

TEST_F(RepositoryFaults, EveryFaultOfTheCamera) {
  struct Row {
    TCameraFault fault;
    int exit_code;
    std::string last;
  };
  const Row rows[] = {
      {TCameraFault::NotListening, 1, kNoCamera},
      {TCameraFault::NeverAnswers, 1, kNoCamera},
      {TCameraFault::CloseMidUpload, 1, "Upgrade failed:*"},
      {TCameraFault::RedirectUpload, 1, "Upgrade failed:HTTP/1.1 302 Found"},
      {TCameraFault::NeverReturns, 1, kNeverBack},
      {TCameraFault::OldVersion, 4, "The camera still reports the version:1.0.0.1"},
  };
  Firmware();
  site_.StartRepository();
  for (const Row& r : rows) {
    TCameraConfig config;
    config.series = TSimSeries::P;
    config.password = "531642";
    config.faults = {r.fault};
    config.close_after_bytes = 1024;  // well inside the 4096-byte firmware
    auto& camera = site_.AddCamera(config);
    const TRowRun run = Upgrade(camera, site_.RepositoryUrl());
    const std::string row = sim::CameraFaultName(r.fault);
    ExpectRow(run, r.exit_code, r.last, row);
    ExpectNoPartialFirmware(site_.DataDir(), row);
  }
}

TEST_F(RepositoryFaults, CameraPagesThatRedirectAwayOrNeverEnd) {
  Firmware();
  site_.StartRepository();
  const std::string oem_file = site_.Root() + "oem.txt";
  WriteFile(oem_file, "camlift");
  struct Row {
    std::string name;
    std::function<RawReply(const std::string&)> answer;
    std::string last;
  };
  const Row rows[] = {
      // Only http and https are followed; a page that sends us to a local file is no page.
      {"oem page to file:",
       [&](const std::string&) {
         return HttpReply(302, "Found", "", "Location: file://" + oem_file + "\r\n");
       },
       kNoCamera},
      // Pages far over the page cap, in small segments: each read stops at the cap. The
      // pages hold no model and no version, so there is no catalogue section to read.
      {"pages over the cap",
       [](const std::string&) {
         RawReply reply = HttpReply(200, "OK", std::string(3 << 20, 'x'));
         std::string all;
         for (const auto& s : reply.segments) all += s;
         reply.segments.clear();
         for (std::size_t at = 0; at < all.size(); at += 65536) {
           reply.segments.push_back(all.substr(at, 65536));
         }
         return reply;
       },
       kNoCatalogue},
  };
  for (const Row& r : rows) {
    TRawHttpServer camera(r.answer);
    const TRowRun run = UpgradeWithin(site_, TSimSeries::P, "127.0.0.1", camera.port(), "531642",
                                      site_.RepositoryUrl());
    ExpectRow(run, 1, r.last, r.name);
    for (const std::string& request : camera.requests()) {
      EXPECT_NE(0u, request.rfind("POST", 0)) << r.name;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// CTP peer (series K)

// A CTP peer that answers like a camera up to one request of the exchange, and misbehaves there:
// garbage instead of an answer, a closed connection, or "REPLY Continue" for ever.
enum class TMisbehaviour { Garbage, Close, EndlessContinue };

class THostileCtp final : public sim::IPortProtocol {
 public:
  // The next connections misbehave at step in this way.
  void Set(std::string step, TMisbehaviour how) {
    std::lock_guard<std::mutex> lock(mutex_);
    step_ = std::move(step);
    how_ = how;
  }

  std::size_t SniffLength() const override { return 4; }
  bool Claims(std::span<const char> first) const override {
    return std::string_view(first.data(), first.size()).starts_with("CMD ");
  }

  void Serve(int fd, const std::atomic<bool>& stop) override {
    std::string target;
    TMisbehaviour how;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      target = step_;
      how = how_;
    }
    std::string buffer;
    int blocks = 0;
    for (;;) {
      std::string line;
      if (!ReadUntil(fd, stop, buffer, "\r\n", line)) return;
      std::string step;
      std::size_t body = 0;
      if (line.starts_with("CMD cfgusr")) {
        std::string headers;
        if (!ReadUntil(fd, stop, buffer, "\r\n\r\n", headers)) return;
        const std::size_t at = headers.find("Content-Length:");
        body = at == std::string::npos ? 0 : std::stoul(headers.substr(at + 15));
        step = "login";
      } else if (line.starts_with("CMD exit")) {
        step = "exit";
      } else {
        const std::size_t blank = line.find(' ');
        const std::string kind = line.substr(0, blank);
        body = std::stoul(line.substr(blank + 1));
        step = kind == "DATA" ? "DATA" + std::to_string(++blocks) : kind;
        if (kind == "CMD" && body == 10) step = "probe";
      }
      std::string ignored;
      if (!ReadBytes(fd, stop, buffer, body, ignored)) return;

      const bool config = step == "login" || step == "exit";
      if (step != target) {
        Send(fd, config ? "CTP/1.0 200 OK\r\n\r\n" : "REPLY OK\r\n");
        continue;
      }
      switch (how) {
        case TMisbehaviour::Garbage:
          Send(fd, std::string("\x16\x03\x01\xff\xfe garbage\0\r\n", 17));
          continue;
        case TMisbehaviour::Close:
          return;
        case TMisbehaviour::EndlessContinue:
          // Bounded only so that the test ends if the program under test did not.
          for (int i = 0; i < 2000 && !stop && Send(fd, "REPLY Continue 1\r\n"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          }
          return;
      }
    }
  }

 private:
  static bool Send(int fd, const std::string& bytes) {
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }
  static bool Fill(int fd, const std::atomic<bool>& stop, std::string& buffer) {
    while (!stop) {
      pollfd p{fd, POLLIN, 0};
      const int ready = ::poll(&p, 1, 50);
      if (ready < 0) return false;
      if (ready == 0) continue;
      char chunk[4096];
      const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) return false;
      buffer.append(chunk, static_cast<std::size_t>(n));
      return true;
    }
    return false;
  }
  static bool ReadUntil(int fd, const std::atomic<bool>& stop, std::string& buffer,
                        const std::string& end, std::string& out) {
    for (;;) {
      if (const std::size_t at = buffer.find(end); at != std::string::npos) {
        out = buffer.substr(0, at);
        buffer.erase(0, at + end.size());
        return true;
      }
      if (!Fill(fd, stop, buffer)) return false;
    }
  }
  static bool ReadBytes(int fd, const std::atomic<bool>& stop, std::string& buffer,
                        std::size_t count, std::string& out) {
    while (buffer.size() < count) {
      if (!Fill(fd, stop, buffer)) return false;
    }
    out = buffer.substr(0, count);
    buffer.erase(0, count);
    return true;
  }

  std::mutex mutex_;
  std::string step_;
  TMisbehaviour how_ = TMisbehaviour::Garbage;
};

// The standard K side (search responder, pages) with the hostile peer on the CTP port.
class THostileCtpExtension final : public sim::ICameraExtension {
 public:
  THostileCtpExtension(sim::TSimCamera& camera, std::shared_ptr<THostileCtp> peer)
      : standard_(sim::MakeCtpCameraExtension(camera)), peer_(std::move(peer)) {}
  std::shared_ptr<sim::IPortProtocol> PortProtocol(sim::TSimCamera&) override { return peer_; }
  std::unique_ptr<sim::ICameraService> StartService(sim::TSimCamera& camera) override {
    return standard_->StartService(camera);
  }
  void AddRoutes(sim::TSimCamera& camera, sim::TSimHttpServer& server) override {
    standard_->AddRoutes(camera, server);
  }

 private:
  std::unique_ptr<sim::ICameraExtension> standard_;
  std::shared_ptr<THostileCtp> peer_;
};

TEST(CtpFaults, EveryRequestOfTheExchangeMetWithGarbageACloseOrEndlessContinue) {
  TE2eSite site;
  // 4096 bytes of firmware: FILE, DATA 1400, DATA 1400, DATA 1296, MD5, then one CMD.
  site.AddFirmware(TSimSeries::K, TFirmwareKind::System, "system", "1.0.X.1", "1.0.2.1");
  site.StartRepository();
  struct Row {
    std::string step;
    TMisbehaviour how;
    std::string last;
  };
  std::vector<Row> rows = {
      {"login", TMisbehaviour::Garbage, kLoginFailed},
      {"login", TMisbehaviour::Close, kLoginFailed},
      {"exit", TMisbehaviour::Garbage, kExitFailed},
      {"exit", TMisbehaviour::Close, kExitFailed},
      {"probe", TMisbehaviour::EndlessContinue, kNoUpgradeMode},
      {"DATA1", TMisbehaviour::EndlessContinue, kTransferFailed},
  };
  for (const char* step : {"probe", "FILE", "DATA1", "DATA2", "DATA3", "MD5", "CMD"}) {
    const std::string last = std::string(step) == "probe" ? kNoUpgradeMode : kTransferFailed;
    rows.push_back({step, TMisbehaviour::Garbage, last});
    rows.push_back({step, TMisbehaviour::Close, last});
  }
  // One camera for every row: its search responder binds the CTP search port once.
  auto peer = std::make_shared<THostileCtp>();
  TCameraConfig config;
  config.series = TSimSeries::K;
  config.ip = site.NextAddress();
  TE2eSite::GiveOwnIdentity(config);
  config.port = 0;
  config.password = "531642";
  sim::TSimCamera camera(config, std::make_shared<sim::TSimRecorder>(),
                         {[peer](sim::TSimCamera& c) -> std::unique_ptr<sim::ICameraExtension> {
                           return std::make_unique<THostileCtpExtension>(c, peer);
                         }});
  camera.Start();
  for (const Row& r : rows) {
    peer->Set(r.step, r.how);
    const TRowRun run = UpgradeWithin(site, TSimSeries::K, config.ip, camera.http_port(), "531642",
                                      site.RepositoryUrl());
    const std::string row = r.step + "/" + std::to_string(static_cast<int>(r.how));
    ExpectRow(run, 1, r.last, row);
    ExpectNoPartialFirmware(site.DataDir(), row);
    EXPECT_EQ("1.0.0.1", camera.state().sys_version) << row;
  }
  camera.Stop();
}

TEST(CtpFaults, SilentPeer) {
  TE2eSite site;
  site.AddFirmware(TSimSeries::K, TFirmwareKind::System, "system", "1.0.X.1", "1.0.2.1");
  site.StartRepository();
  TCameraConfig config;
  config.series = TSimSeries::K;
  config.password = "531642";
  config.faults = {TCameraFault::CtpSilent};
  auto& camera = site.AddCamera(config);
  const TRowRun run = UpgradeWithin(site, TSimSeries::K, camera.config().ip, camera.http_port(),
                                    "531642", site.RepositoryUrl());
  ExpectRow(run, 1, kLoginFailed, "ctp-silent");
}

}  // namespace
}  // namespace camlift::test
