// SPDX-License-Identifier: Apache-2.0
#include "e2e_site.h"

#include <unistd.h>

#include <cstdio>
#include <regex>

#include "platform/timing.h"
#include "sim_scenario.h"
#include "util/tools.h"

namespace camlift::test {

TE2eSite::TE2eSite()
    : data_dir_(temp_.path() + "data/"),
      repo_root_(temp_.path() + "repo/"),
      recorder_(std::make_shared<sim::TSimRecorder>()) {
  TTools::ForceDirs(data_dir_);
  TTools::ForceDirs(repo_root_);
  // The simulated cameras in this process keep the same clock as the program under test.
  SetTimeScaleForTesting(std::stod(kE2eTimeScale));
}

TE2eSite::~TE2eSite() {
  for (auto& camera : cameras_) camera->Stop();
  if (repository_) repository_->Stop();
}

std::string TE2eSite::NextAddress() {
  const int pid = static_cast<int>(::getpid());
  return "127." + std::to_string(pid / 250 % 250 + 1) + "." + std::to_string(pid % 250 + 1) + "." +
         std::to_string(next_host_++);
}

void TE2eSite::GiveOwnIdentity(sim::TCameraConfig& config) {
  const sim::TCameraConfig defaults;
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (std::sscanf(config.ip.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4) return;
  char text[32];
  if (config.device_id == defaults.device_id) {
    std::snprintf(text, sizeof text, "E2E-%03u%03u%03u", b & 255, c & 255, d & 255);
    config.device_id = text;
  }
  if (config.mac == defaults.mac) {
    std::snprintf(text, sizeof text, "02:7F:00:%02X:%02X:%02X", b & 255, c & 255, d & 255);
    config.mac = text;
  }
}

sim::TSimCamera& TE2eSite::AddCamera(sim::TCameraConfig config) {
  if (config.ip.empty() || config.ip == "127.0.0.2") config.ip = NextAddress();
  GiveOwnIdentity(config);
  config.port = 0;
  auto camera = std::make_unique<sim::TSimCamera>(std::move(config), recorder_,
                                                  sim::BuiltInCameraExtensions());
  camera->Start();
  cameras_.push_back(std::move(camera));
  return *cameras_.back();
}

sim::TRepoAddResult TE2eSite::AddFirmware(sim::TSimSeries series, sim::TFirmwareKind kind,
                                          const std::string& folder, const std::string& section,
                                          const std::string& version, const std::string& excluded) {
  sim::TRepoAddOptions options;
  options.root = repo_root_;
  options.folder = folder;
  options.section = section;
  options.kind = kind;
  options.series = series;
  options.version = version;
  options.excluded = excluded;
  sim::TRepoAddResult result;
  std::string error;
  if (!sim::RepoAdd(options, result, error)) throw std::runtime_error(error);
  return result;
}

void TE2eSite::StartRepository(std::set<sim::TRepoFault> faults, const std::string& tls_dir,
                               const std::string& tls_name) {
  sim::TRepoConfig config;
  config.root = repo_root_;
  config.faults = std::move(faults);
  config.tls_dir = tls_dir;
  config.tls_name = tls_name;
  if (!tls_dir.empty()) time_scale_ = kE2eTlsTimeScale;
  repository_ = std::make_unique<sim::TSimRepository>(config, recorder_);
  repository_->Start();
}

void TE2eSite::WriteOptions(const std::string& text) {
  TTools::ForceDirs(temp_.path() + "config/camlift");
  WriteFile(temp_.path() + "config/camlift/option.ini", text);
}

TProcessResult TE2eSite::Run(std::vector<std::string> args, const std::string& stdin_text,
                             const std::map<std::string, std::string>& env,
                             const std::function<void(int pid)>& started) {
  args.insert(args.begin(), CAMLIFT_EXE);
  std::map<std::string, std::string> environment = {{"CAMLIFT_TIME_SCALE", time_scale_},
                                                    {"LC_ALL", "C"},
                                                    {"XDG_CONFIG_HOME", temp_.path() + "config"},
                                                    {"CAMLIFT_REPOSITORY_URL", ""},
                                                    {"CAMLIFT_PASSWORD", ""}};
  for (const auto& [name, value] : env) environment[name] = value;
  return RunProcess(args, environment, stdin_text, 120000, started);
}

TProcessResult TE2eSite::Upgrade(const sim::TSimCamera& camera, std::vector<std::string> extra,
                                 const std::string& stdin_text) {
  return Run(UpgradeArgs(camera, std::move(extra)), stdin_text);
}

std::vector<std::string> TE2eSite::UpgradeArgs(const sim::TSimCamera& camera,
                                               std::vector<std::string> extra) const {
  std::vector<std::string> args = {"upgrade", "--series", sim::SeriesText(camera.config().series),
                                   "--ip", camera.config().ip, "--port",
                                   // A camera that never listens has no port: one nothing uses.
                                   std::to_string(camera.http_port() > 0 ? camera.http_port() : 1),
                                   "--user", camera.config().user, "--password",
                                   camera.config().password, "--data-dir", data_dir_};
  if (repository_) {
    args.push_back("--repository");
    args.push_back(repository_->BaseUrl());
  }
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

std::vector<nlohmann::json> TE2eSite::Uploads() const {
  std::vector<nlohmann::json> uploads;
  for (const auto& entry : recorder_->Entries()) {
    if (entry.contains("upload")) uploads.push_back(entry);
  }
  return uploads;
}

std::vector<std::string> LogTexts(const std::string& out) {
  static const std::regex stamp(R"(^\d\d/\d\d/\d\d \d\d:\d\d:\d\d:)");
  std::vector<std::string> texts;
  for (const std::string& line : Lines(out)) {
    std::smatch m;
    if (std::regex_search(line, m, stamp)) {
      texts.push_back(line.substr(m.length(0)));
    } else {
      texts.push_back("<not a log line> " + line);
    }
  }
  return texts;
}

std::string FailureLineOf(const std::vector<std::string>& log) {
  if (log.empty()) return {};
  for (std::size_t back = 1; back <= 3 && back <= log.size(); ++back) {
    const std::string& line = log[log.size() - back];
    if (line == "Failed to get ROM for upgrading." ||
        line == "Failed to read version information of the latest rom.") {
      return line;
    }
  }
  return log.back();
}

}  // namespace camlift::test
