// SPDX-License-Identifier: Apache-2.0
#include "fleet/batch_resume.h"

#include <nlohmann/json.hpp>
#include <set>

#include "discovery/series.h"
#include "fleet/json_port.h"
#include "repository/repository_url.h"

namespace camlift {
namespace {

std::string Key(const std::string& ip, int port) { return ip + ":" + std::to_string(port); }

std::string Text(const nlohmann::json& j, const char* key) {
  const auto it = j.find(key);
  return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// The kind and source a line names; nullopt when it names no kind.
std::optional<TBatchRunFacts> FactsOf(const nlohmann::json& o) {
  const std::string kind = Text(o, "kind");
  if (kind != "system" && kind != "ui") return std::nullopt;
  TBatchRunFacts facts;
  facts.system = kind == "system";
  facts.repository = Text(o, "repository");
  facts.firmware = Text(o, "firmware");
  return facts;
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
  std::map<std::string, std::optional<TBatchRunFacts>> facts_of;
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
    const std::string key = Key(outcome.camera.ip, outcome.camera.port);
    summary.upgraded[key] = std::move(outcome);
    facts_of[key] = FactsOf(o);
  }
  for (const std::string& key : not_upgraded) {
    summary.upgraded.erase(key);
    facts_of.erase(key);
  }
  // The facts of the cameras that would be skipped: all must say them, and say the same.
  for (const auto& [key, facts] : facts_of) {
    if (!facts) {
      summary.facts.reset();
      summary.facts_differ = false;
      break;
    }
    if (!summary.facts) {
      summary.facts = facts;
    } else if (summary.facts->system != facts->system ||
               summary.facts->repository != facts->repository ||
               summary.facts->firmware != facts->firmware) {
      summary.facts_differ = true;
    }
  }
  summary.ok = true;
  return summary;
}

std::string RepositoryForSummary(const std::string& url) {
  std::string out = NormaliseRepositoryUrl(url);
  if (out.empty()) return url;
  const std::size_t host = out.find("://") + 3;
  const std::size_t end = out.find('/', host);
  const std::size_t at = out.rfind('@', end);
  if (at != std::string::npos && at >= host) out.erase(host, at + 1 - host);
  return out;
}

std::string ResumeMismatch(const TResumeSummary& summary, const TBatchRunFacts& now_given) {
  if (summary.upgraded.empty()) return {};
  if (summary.facts_differ) {
    return "its upgraded cameras were upgraded by runs of different firmware kinds or sources";
  }
  if (!summary.facts) {
    return "it does not say which firmware kind and repository its cameras were upgraded with "
           "(written by an older version); run the batch without --resume";
  }
  const TBatchRunFacts& then = *summary.facts;
  TBatchRunFacts current = now_given;
  current.repository = current.firmware.empty() ? RepositoryForSummary(now_given.repository) : "";
  const auto kind = [](bool system) { return std::string(system ? "system" : "UI"); };
  if (then.system != current.system) {
    return "it is the summary of a " + kind(then.system) + " firmware batch, this run upgrades " +
           kind(current.system) + " firmware";
  }
  const auto source = [](const TBatchRunFacts& f) {
    return f.firmware.empty() ? "the repository " + f.repository
                              : "the firmware file " + f.firmware;
  };
  if (then.repository != current.repository || then.firmware != current.firmware) {
    return "its cameras were upgraded from " + source(then) + ", this run uses " + source(current);
  }
  return {};
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
