// SPDX-License-Identifier: Apache-2.0
#include "sim_scenario.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>

#include "search_responder_ext.h"

namespace fs = std::filesystem;

namespace camlift::sim {
namespace {

using json = nlohmann::json;

void CheckKeys(const json& object, const std::set<std::string>& allowed, const std::string& where) {
  if (!object.is_object()) throw std::runtime_error(where + " must be a JSON object");
  for (const auto& [key, value] : object.items()) {
    if (!allowed.count(key)) throw std::runtime_error(where + ": unknown key \"" + key + "\"");
  }
}

template <typename T>
void Read(const json& object, const char* key, T& target, const std::string& where) {
  if (!object.contains(key)) return;
  try {
    target = object.at(key).get<T>();
  } catch (const json::exception&) {
    throw std::runtime_error(where + ": \"" + key + "\" has the wrong type");
  }
}

std::string Resolve(const std::string& base_dir, const std::string& path) {
  if (path.empty() || fs::path(path).is_absolute()) return path;
  return (fs::path(base_dir) / path).lexically_normal().string();
}

TSimSeries SeriesOf(const json& object, const std::string& where) {
  std::string text;
  Read(object, "series", text, where);
  const auto series = ParseSeries(text);
  if (!series) throw std::runtime_error(where + ": \"series\" must be " + SeriesList());
  return *series;
}

TCameraConfig ParseCamera(const json& object, const std::string& base_dir,
                          const std::string& where) {
  std::set<std::string> keys = {"series", "faults", "search"};
  for (const TCameraSetting& setting : CameraSettings()) keys.insert(setting.key);
  CheckKeys(object, keys, where);
  TCameraConfig c;
  c.series = SeriesOf(object, where);
  for (const TCameraSetting& setting : CameraSettings()) {
    std::visit([&](auto member) { Read(object, setting.key, c.*member, where); }, setting.member);
    if (setting.flags & kSettingPath) {
      std::string& path = c.*std::get<std::string TCameraConfig::*>(setting.member);
      path = Resolve(base_dir, path);
    }
  }
  Read(object, "search", c.search_dialects, where);
  for (const auto& dialect : c.search_dialects) {
    if (!FindSearchDialect(dialect)) {
      throw std::runtime_error(where + ": unknown search dialect \"" + dialect + "\" (" +
                               SearchDialectList() + ")");
    }
  }
  std::vector<std::string> faults;
  Read(object, "faults", faults, where);
  for (const auto& name : faults) {
    const auto fault = ParseCameraFault(name);
    if (!fault) throw std::runtime_error(where + ": unknown camera fault \"" + name + "\"");
    c.faults.insert(*fault);
  }
  return c;
}

}  // namespace

TScenario ParseScenario(const json& root, const std::string& base_dir) {
  CheckKeys(root, {"record", "allow_wildcard", "repository", "cameras"}, "scenario");
  TScenario scenario;
  Read(root, "record", scenario.record, "scenario");
  scenario.record = Resolve(base_dir, scenario.record);
  Read(root, "allow_wildcard", scenario.allow_wildcard, "scenario");
  if (root.contains("repository")) {
    const json& r = root.at("repository");
    CheckKeys(r, {"root", "ip", "port", "faults", "firmware"}, "repository");
    TRepoConfig repo;
    Read(r, "root", repo.root, "repository");
    if (repo.root.empty()) throw std::runtime_error("repository: \"root\" is missing");
    repo.root = Resolve(base_dir, repo.root);
    Read(r, "ip", repo.ip, "repository");
    Read(r, "port", repo.port, "repository");
    std::vector<std::string> faults;
    Read(r, "faults", faults, "repository");
    for (const auto& name : faults) {
      const auto fault = ParseRepoFault(name);
      if (!fault) throw std::runtime_error("repository: unknown fault \"" + name + "\"");
      repo.faults.insert(*fault);
    }
    if (r.contains("firmware")) {
      if (!r.at("firmware").is_array()) {
        throw std::runtime_error("repository: \"firmware\" must be a list");
      }
      int n = 0;
      for (const json& f : r.at("firmware")) {
        const std::string where = "repository firmware #" + std::to_string(++n);
        CheckKeys(
            f,
            {"folder", "section", "kind", "series", "version", "size", "no", "archive", "stored"},
            where);
        TRepoAddOptions add;
        add.root = repo.root;
        add.series = SeriesOf(f, where);
        std::string kind = "sys";
        Read(f, "kind", kind, where);
        const auto parsed = ParseKind(kind);
        if (!parsed) throw std::runtime_error(where + ": \"kind\" must be sys or ui");
        add.kind = *parsed;
        Read(f, "folder", add.folder, where);
        if (add.folder.empty()) add.folder = add.kind == TFirmwareKind::System ? "system" : "";
        Read(f, "section", add.section, where);
        Read(f, "version", add.version, where);
        Read(f, "size", add.size, where);
        Read(f, "no", add.excluded, where);
        Read(f, "archive", add.archive_name, where);
        Read(f, "stored", add.stored, where);
        scenario.firmware.push_back(add);
      }
    }
    scenario.repository = repo;
  }
  if (root.contains("cameras")) {
    if (!root.at("cameras").is_array()) throw std::runtime_error("\"cameras\" must be a list");
    int n = 0;
    for (const json& c : root.at("cameras")) {
      scenario.cameras.push_back(ParseCamera(c, base_dir, "camera #" + std::to_string(++n)));
    }
  }
  return scenario;
}

TScenario LoadScenario(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read the scenario " + path);
  json root;
  try {
    root = json::parse(in);
  } catch (const json::exception& e) {
    throw std::runtime_error("scenario " + path + " is not valid JSON: " + e.what());
  }
  return ParseScenario(root, fs::absolute(path).parent_path().string());
}

TSimulator::TSimulator(TScenario scenario, std::shared_ptr<TSimRecorder> recorder,
                       std::vector<TCameraExtensionFactory> extensions)
    : scenario_(std::move(scenario)),
      recorder_(recorder ? std::move(recorder) : std::make_shared<TSimRecorder>()),
      extensions_(std::move(extensions)) {}

TSimulator::~TSimulator() { Stop(); }

void TSimulator::Start() {
  try {
    for (const auto& add : scenario_.firmware) {
      TRepoAddResult result;
      std::string error;
      if (!RepoAdd(add, result, error)) throw std::runtime_error("repository firmware: " + error);
    }
    if (scenario_.repository) {
      repository_ = std::make_unique<TSimRepository>(*scenario_.repository, recorder_,
                                                     scenario_.allow_wildcard);
      repository_->Start();
    }
    for (const auto& config : scenario_.cameras) {
      cameras_.push_back(
          std::make_unique<TSimCamera>(config, recorder_, extensions_, scenario_.allow_wildcard));
      cameras_.back()->Start();
    }
  } catch (...) {
    Stop();
    throw;
  }
}

void TSimulator::Stop() {
  for (auto& camera : cameras_) camera->Stop();
  if (repository_) repository_->Stop();
}

std::vector<std::string> TSimulator::Describe() const {
  std::vector<std::string> lines;
  if (repository_) {
    lines.push_back(repository_->config().has(TRepoFault::Down)
                        ? "repository down (fault)"
                        : "repository " + repository_->BaseUrl());
  }
  for (const auto& camera : cameras_) {
    const TCameraConfig& c = camera->config();
    std::string line = "camera " + c.name + " " + SeriesText(c.series) + " ";
    if (c.has(TCameraFault::NotListening)) {
      line += c.ip + " not listening (fault)";
    } else {
      line += c.ip + ":" + std::to_string(camera->http_port());
      if (ProfileOf(c.series).upload_port)
        line += " upload " + std::to_string(camera->upload_port());
    }
    lines.push_back(line);
  }
  return lines;
}

}  // namespace camlift::sim
