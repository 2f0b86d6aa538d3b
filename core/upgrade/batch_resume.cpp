// SPDX-License-Identifier: Apache-2.0
#include "upgrade/batch_resume.h"

#include <nlohmann/json.hpp>
#include <set>

#include "discovery/series.h"
#include "upgrade/json_port.h"

namespace camlift {
namespace {

std::string Key(const std::string& ip, int port) { return ip + ":" + std::to_string(port); }

std::string Text(const nlohmann::json& j, const char* key) {
  const auto it = j.find(key);
  return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

}  // namespace

TResumeSummary ReadResumeSummary(std::string_view json_text) {
  TResumeSummary summary;
  const nlohmann::json all = nlohmann::json::parse(json_text, nullptr, false);
  if (all.is_discarded() || !all.is_array()) {
    summary.error = "not a batch summary (a JSON array of cameras)";
    return summary;
  }
  // A camera the summary names more than once, once not upgraded, is not taken as upgraded:
  // a summary joined from two runs, or edited, must never make a camera be skipped.
  std::set<std::string> not_upgraded;
  for (const nlohmann::json& o : all) {
    if (!o.is_object()) continue;
    const auto field = o.find("port");
    // A port that is no port names no camera of a list (a wrapped number could name another).
    const std::optional<int> port = field != o.end() ? JsonPort(*field) : std::nullopt;
    if (Text(o, "ip").empty() || !port || *port == 0) continue;
    if (Text(o, "result") != "ok") {
      not_upgraded.insert(Key(Text(o, "ip"), *port));
      continue;
    }
    // Only the series it was upgraded as counts: the same address in another list may be
    // another camera.
    const TSeries series = SeriesFromLetter(Text(o, "series"));
    if (series == TSeries::None) continue;
    TBatchOutcome outcome;
    outcome.camera.ip = Text(o, "ip");
    outcome.camera.port = *port;
    outcome.camera.series = series;
    outcome.result.status = TUpgradeStatus::Working;
    outcome.result.old_version = Text(o, "oldVersion");
    outcome.result.new_version = Text(o, "catalogueVersion");
    outcome.result.reported_version = Text(o, "reportedVersion");
    outcome.log_file = Text(o, "log");
    summary.upgraded[Key(outcome.camera.ip, outcome.camera.port)] = std::move(outcome);
  }
  for (const std::string& key : not_upgraded) summary.upgraded.erase(key);
  summary.ok = true;
  return summary;
}

std::vector<TCameraEntry> CamerasToResume(const std::vector<TCameraEntry>& cameras,
                                          const TResumeSummary& summary) {
  std::vector<TCameraEntry> left;
  for (const TCameraEntry& c : cameras) {
    const auto earlier = summary.upgraded.find(Key(c.ip, c.port));
    if (earlier == summary.upgraded.end() || earlier->second.camera.series != c.series) {
      left.push_back(c);
    }
  }
  return left;
}

std::vector<TBatchOutcome> MergeResumed(const std::vector<TCameraEntry>& cameras,
                                        const TResumeSummary& summary,
                                        const std::vector<TBatchOutcome>& ran) {
  std::map<std::string, const TBatchOutcome*> by_camera;
  for (const TBatchOutcome& o : ran) by_camera[Key(o.camera.ip, o.camera.port)] = &o;
  std::vector<TBatchOutcome> merged;
  for (const TCameraEntry& c : cameras) {
    const std::string key = Key(c.ip, c.port);
    if (const auto it = by_camera.find(key); it != by_camera.end()) {
      merged.push_back(*it->second);
      continue;
    }
    const auto earlier = summary.upgraded.find(key);
    // Cannot happen: every camera ran or was done.
    if (earlier == summary.upgraded.end() || earlier->second.camera.series != c.series) continue;
    TBatchOutcome outcome = earlier->second;
    outcome.camera = c;
    outcome.reason = "upgraded by an earlier run";
    merged.push_back(std::move(outcome));
  }
  return merged;
}

}  // namespace camlift
