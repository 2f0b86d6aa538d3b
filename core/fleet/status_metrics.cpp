// SPDX-License-Identifier: Apache-2.0
#include "fleet/status_metrics.h"

#include <set>
#include <utility>

#include "discovery/series.h"
#include "util/text_fields.h"

namespace camlift {
namespace {

struct TFamily {
  const char* name;
  const char* help;
};

const TFamily kInfo = {"camlift_camera_info",
                       "A camera of the status run: its address, series and model, the version it "
                       "runs and the catalogue's version for it. Always 1."};
const TFamily kUpdate = {"camlift_camera_update_available",
                         "1 when the catalogue offers the camera another version it may take."};
const TFamily kReachable = {"camlift_camera_reachable",
                            "1 when the camera answered its reads (also with a refusal of the "
                            "account). A camera of no known series is not asked and has none."};
const TFamily kRefused = {"camlift_camera_account_refused",
                          "1 when the camera refused the account it was given. A camera of no "
                          "known series is not asked and has none."};
const TFamily kLastRun = {"camlift_status_last_run_timestamp_seconds",
                          "When this status run read the cameras (Unix time)."};

void Header(std::string& out, const TFamily& family) {
  out += std::string("# HELP ") + family.name + " " + family.help + "\n";
  out += std::string("# TYPE ") + family.name + " gauge\n";
}

std::string Labels(const std::vector<std::pair<const char*, std::string>>& labels) {
  std::string text = "{";
  for (const auto& [name, value] : labels) {
    if (text.size() > 1) text += ",";
    text += std::string(name) + "=\"" + MetricLabelValue(value) + "\"";
  }
  return text + "}";
}

std::string Address(const TCameraStatus& row) {
  return Labels({{"ip", row.camera.ip}, {"port", std::to_string(row.camera.port)}});
}

}  // namespace

std::string MetricLabelValue(const std::string& text) {
  std::string out;
  for (const char c : ShownText(text)) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

std::string StatusMetricsText(const std::vector<TCameraStatus>& rows, std::int64_t now_seconds) {
  std::vector<const TCameraStatus*> cameras;
  std::set<std::pair<std::string, int>> seen;
  for (const TCameraStatus& row : rows) {
    if (seen.emplace(row.camera.ip, row.camera.port).second) cameras.push_back(&row);
  }
  std::string out;
  Header(out, kInfo);
  for (const TCameraStatus* row : cameras) {
    out += kInfo.name +
           Labels({{"ip", row->camera.ip},
                   {"port", std::to_string(row->camera.port)},
                   {"series", SeriesLetter(row->camera.series)},
                   {"model", row->model},
                   {"current", row->current},
                   {"latest", row->latest}}) +
           " 1\n";
  }
  Header(out, kUpdate);
  for (const TCameraStatus* row : cameras) {
    const bool update = row->state == TCameraState::UpdateAvailable;
    out += kUpdate.name + Address(*row) + (update ? " 1\n" : " 0\n");
  }
  Header(out, kReachable);
  for (const TCameraStatus* row : cameras) {
    if (row->state == TCameraState::UnknownSeries) continue;
    out += kReachable.name + Address(*row) + (row->answered ? " 1\n" : " 0\n");
  }
  Header(out, kRefused);
  for (const TCameraStatus* row : cameras) {
    if (row->state == TCameraState::UnknownSeries) continue;
    const bool refused = row->state == TCameraState::AccountRefused;
    out += kRefused.name + Address(*row) + (refused ? " 1\n" : " 0\n");
  }
  Header(out, kLastRun);
  out += std::string(kLastRun.name) + " " + std::to_string(now_seconds) + "\n";
  return out;
}

}  // namespace camlift
