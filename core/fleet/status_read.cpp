// SPDX-License-Identifier: Apache-2.0
#include "fleet/status_read.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "i18n/str_res.h"
#include "platform/broadcast.h"
#include "repository/repository_text.h"
#include "upgrade/upgrade_object.h"
#include "util/text.h"
#include "util/text_fields.h"

namespace camlift {
namespace {

struct TColumn {
  const char* header;
  std::string (*value)(const TCameraStatus&);
};

const TColumn kColumns[] = {
    {"IP address", [](const TCameraStatus& s) { return s.camera.ip; }},
    {"Port", [](const TCameraStatus& s) { return std::to_string(s.camera.port); }},
    {"Series", [](const TCameraStatus& s) { return SeriesLetter(s.camera.series); }},
    {"Model", [](const TCameraStatus& s) { return ToValidUtf8(s.model); }},
    {"Current", [](const TCameraStatus& s) { return ToValidUtf8(s.current); }},
    {"Catalogue", [](const TCameraStatus& s) { return ToValidUtf8(s.latest); }},
    {"State", [](const TCameraStatus& s) { return StatusStateText(s); }},
};

std::size_t Columns(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// A text from a camera in one table cell: line breaks and tabs would break the table, and
// escape sequences (also the UTF-8 forms of U+0080..U+009F) must not reach the terminal.
std::string OneLine(const std::string& text) { return ShownText(text); }

}  // namespace

std::string CameraStateText(TCameraState state) {
  switch (state) {
    case TCameraState::UpToDate:
      return "up to date";
    case TCameraState::UpdateAvailable:
      return "update available";
    case TCameraState::NewerThanRepository:
      return "newer than the repository";
    case TCameraState::Excluded:
      return "excluded";
    case TCameraState::NoFirmware:
      return "no firmware";
    case TCameraState::AccountRefused:
      return "account refused";
    case TCameraState::Unreachable:
      return "unreachable";
    case TCameraState::UnknownSeries:
      return "unknown series";
    case TCameraState::AccountNotSent:
      return "account not sent";
  }
  return "unknown series";
}

std::string StatusStateText(const TCameraStatus& status) {
  std::string text = CameraStateText(status.state);
  if (status.state == TCameraState::AccountNotSent) text += ": " + status.camera.account_withheld;
  return text;
}

TCameraState StateAfterReads(const TUpgradeObject& upgrader, bool oem_ok, bool version_ok,
                             const std::string& latest, const std::string& excluded) {
  // Series R answers a wrong account with a page of its own, so the refusal is looked at even
  // when the read counted as an answer.
  if (upgrader.AccountRefused()) return TCameraState::AccountRefused;
  if (!oem_ok || !version_ok) return TCameraState::Unreachable;
  if (latest.empty()) return TCameraState::NoFirmware;
  // The same order as an upgrade: an equal version is not worth an upgrade and an older one is
  // no update, whatever the NO list says; only then does the NO list refuse the firmware.
  switch (upgrader.StepTo(latest)) {
    case TVersionStep::Same:
      return TCameraState::UpToDate;
    case TVersionStep::Downgrade:
      return TCameraState::NewerThanRepository;
    case TVersionStep::Upgrade:
      break;
  }
  const std::string& current = upgrader.CurrentVersion();
  if (!current.empty() && excluded.find(current) != std::string::npos) {
    return TCameraState::Excluded;
  }
  return TCameraState::UpdateAvailable;
}

TCameraStatus ReadStatusWith(TUpgradeObject& upgrader, const TCameraEntry& camera) {
  TCameraStatus status;
  status.camera = camera;
  const bool oem_ok = upgrader.ReadOem();
  const bool version_ok = oem_ok && !upgrader.AccountRefused() && upgrader.ReadCurrentVersion();
  std::string latest;
  if (version_ok) {
    upgrader.ReadLatestVersion(status.md5, status.excluded, latest);
    upgrader.SetLatestVersion(latest);
    status.file = upgrader.RepositoryFile();
    const TRepositoryProblem& problem = upgrader.RepositoryProblem();
    if (!problem.key.empty()) status.repository_problem = RepositoryProblemText(problem);
  }
  status.current = upgrader.CurrentVersion();
  status.latest = latest;
  status.model = !upgrader.Model().empty() ? upgrader.Model() : TrimText(upgrader.OemText());
  status.state = StateAfterReads(upgrader, oem_ok, version_ok, latest, status.excluded);
  status.answered = oem_ok || upgrader.AccountRefused();
  return status;
}

namespace {

TCameraStatus ReadCameraAsGiven(const TCameraEntry& camera, const TStatusOptions& options) {
  // Addresses from a search come from the network: only a plain IPv4 address is asked, and only
  // such a one goes into the name of a file.
  if (!ParseDottedIPv4(camera.ip) || camera.port <= 0 || camera.port > 65535) {
    TCameraStatus status;
    status.camera = camera;
    status.state = TCameraState::Unreachable;
    return status;
  }
  // Readers run side by side, also in two programs at once: each keeps its catalogue under a
  // name of its own, and removes it again, since a status run leaves nothing behind.
  const std::string catalogue = "Firmware-status-" + std::to_string(::getpid()) + "-" + camera.ip +
                                "-" + std::to_string(camera.port) + ".ini";
  auto upgrader = SetUpUpgrader(camera, options, {catalogue, ""});
  if (!upgrader) {
    TCameraStatus status;
    status.camera = camera;
    status.state = TCameraState::UnknownSeries;
    return status;
  }
  TCameraStatus status = ReadStatusWith(*upgrader, camera);
  std::error_code ec;
  std::filesystem::remove(upgrader->WorkFolder() + catalogue, ec);
  return status;
}

}  // namespace

TCameraStatus ReadCameraStatus(const TCameraEntry& camera, const TStatusOptions& options) {
  if (camera.account_withheld.empty()) return ReadCameraAsGiven(camera, options);
  // A camera the account may not go to is read without one, whatever the entry holds; its
  // state says why, whatever the reads found.
  TCameraEntry without_account = camera;
  without_account.user.clear();
  without_account.password.clear();
  TCameraStatus status = ReadCameraAsGiven(without_account, options);
  // A camera of no known series was not asked anything: that is what it says.
  if (status.state != TCameraState::UnknownSeries) status.state = TCameraState::AccountNotSent;
  return status;
}

std::vector<TCameraStatus> ReadFleetStatus(const std::vector<TCameraEntry>& cameras,
                                           const TStatusOptions& options,
                                           const TStatusProgress& progress) {
  std::vector<TCameraStatus> rows(cameras.size());
  std::atomic<std::size_t> next{0};
  std::size_t done = 0;
  std::mutex progress_mutex;
  const int jobs = std::max(1, std::min<int>(options.jobs, static_cast<int>(cameras.size())));
  std::vector<std::thread> readers;
  for (int j = 0; j < jobs; ++j) {
    readers.emplace_back([&] {
      for (std::size_t i; (i = next++) < cameras.size();) {
        if (options.cancel && *options.cancel) {
          rows[i].camera = cameras[i];
        } else {
          rows[i] = ReadCameraStatus(cameras[i], options);
        }
        std::lock_guard lock(progress_mutex);
        ++done;
        if (progress) progress(rows[i], done, cameras.size());
      }
    });
  }
  for (auto& r : readers) r.join();
  return rows;
}

std::string StatusTable(const std::vector<TCameraStatus>& rows) {
  std::vector<std::vector<std::string>> cells(1);
  for (const TColumn& column : kColumns) cells[0].emplace_back(column.header);
  for (const TCameraStatus& row : rows) {
    cells.emplace_back();
    for (const TColumn& column : kColumns) cells.back().push_back(OneLine(column.value(row)));
  }
  std::vector<std::size_t> widths(std::size(kColumns), 0);
  for (const auto& line : cells) {
    for (std::size_t c = 0; c < line.size(); ++c) widths[c] = std::max(widths[c], Columns(line[c]));
  }
  std::string table;
  for (const auto& line : cells) {
    std::string text;
    for (std::size_t c = 0; c < line.size(); ++c) {
      text += line[c];
      if (c + 1 < line.size()) text += std::string(widths[c] - Columns(line[c]) + 2, ' ');
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    table += text + "\n";
  }
  return table;
}

std::string StatusCsv(const std::vector<TCameraStatus>& rows) {
  std::string out(kUtf8Bom);
  auto append_row = [&](const std::vector<std::string>& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (i > 0) out += ',';
      out += CsvField(fields[i]);
    }
    out += "\r\n";
  };
  std::vector<std::string> fields;
  for (const TColumn& column : kColumns) fields.emplace_back(column.header);
  append_row(fields);
  for (const TCameraStatus& row : rows) {
    fields.clear();
    for (const TColumn& column : kColumns) fields.push_back(column.value(row));
    append_row(fields);
  }
  return out;
}

std::string StatusJsonLines(const std::vector<TCameraStatus>& rows) {
  std::string out;
  for (const TCameraStatus& s : rows) {
    nlohmann::ordered_json line = {
        {"ip", ToValidUtf8(s.camera.ip)},          {"port", s.camera.port},
        {"series", SeriesLetter(s.camera.series)}, {"model", ToValidUtf8(s.model)},
        {"current", ToValidUtf8(s.current)},       {"catalogue", ToValidUtf8(s.latest)},
        {"state", CameraStateText(s.state)}};
    if (s.state == TCameraState::AccountNotSent) {
      line["accountNotSent"] = ToValidUtf8(s.camera.account_withheld);
    }
    out += line.dump() + "\n";
  }
  return out;
}

}  // namespace camlift
