// SPDX-License-Identifier: Apache-2.0
#include "fleet/camera_list.h"

#include <nlohmann/json.hpp>
#include <set>

#include "discovery/account_scope.h"
#include "discovery/dev_types.h"
#include "discovery/series.h"
#include "fleet/json_port.h"
#include "platform/broadcast.h"
#include "upgrade/upgrade_fields.h"
#include "upgrade/upgrade_object.h"
#include "util/text.h"
#include "util/tools.h"

namespace camlift {
namespace {

std::string Where(int line) { return "line " + std::to_string(line) + ": "; }

bool ParseSeries(const std::string& text, TSeries& series) {
  series = SeriesFromLetter(TrimText(text));
  return series != TSeries::None;
}

bool FromJson(const std::string& line, TCameraEntry& entry, std::string& error) {
  const nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
  if (record.is_discarded() || !record.is_object()) {
    error = "not a JSON object";
    return false;
  }
  // "ip" and "series" are texts, "port" a whole number.
  const auto ip = record.find("ip");
  const auto port = record.find("port");
  const auto series = record.find("series");
  if ((ip != record.end() && !ip->is_string()) ||
      (port != record.end() && !port->is_number_integer()) ||
      (series != record.end() && !series->is_string())) {
    error = "a field of the wrong type (ip and series are texts, port a whole number)";
    return false;
  }
  if (ip != record.end()) entry.ip = ip->get<std::string>();
  // A whole number that is no port (negative, too large for an int) is refused as out of range.
  if (port != record.end()) entry.port = JsonPort(*port).value_or(-1);
  if (!ParseSeries(series != record.end() ? series->get<std::string>() : "", entry.series)) {
    error = "no known series (K, M, P or R) for " + entry.ip;
    return false;
  }
  return true;
}

bool FromCsv(const std::string& line, TCameraEntry& entry, std::string& error) {
  std::vector<std::string> fields;
  TTools::SplitText(line, ",", fields);
  if (fields.size() < 3 || fields.size() > 5) {
    error = "expected ip,port,series[,user[,password]]";
    return false;
  }
  entry.ip = TrimText(fields[0]);
  entry.port = ReadDecimal(fields[1], 0);
  if (!ParseSeries(fields[2], entry.series)) {
    error = "unknown series \"" + TrimText(fields[2]) + "\"";
    return false;
  }
  if (fields.size() > 3 && !TrimText(fields[3]).empty()) entry.user = TrimText(fields[3]);
  if (fields.size() > 4) entry.password = TrimText(fields[4]);
  return true;
}

}  // namespace

TCameraListResult ParseCameraList(std::string_view text, const std::string& default_user,
                                  const std::string& default_password) {
  TCameraListResult result;
  std::vector<std::string> lines;
  TTools::SplitText(std::string(text), "\n", lines);
  std::set<std::pair<std::string, int>> seen;
  bool header_seen = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int number = static_cast<int>(i) + 1;
    const std::string line = TrimText(lines[i]);
    if (line.empty() || line[0] == '#') continue;
    TCameraEntry entry;
    entry.line = number;
    entry.user = default_user;
    entry.password = default_password;
    std::string error;
    bool ok;
    if (line[0] == '{') {
      ok = FromJson(line, entry, error);
    } else {
      if (!header_seen && line.rfind("ip", 0) == 0) {
        header_seen = true;  // the header line names the columns
        continue;
      }
      ok = FromCsv(line, entry, error);
    }
    if (ok && !ParseDottedIPv4(entry.ip)) {
      ok = false;
      error = "\"" + entry.ip + "\" is not an IPv4 address";
    }
    if (ok && (entry.port <= 0 || entry.port > 65535)) {
      ok = false;
      error = "port out of range";
    }
    if (ok && !seen.insert({entry.ip, entry.port}).second) {
      ok = false;
      error = entry.ip + ":" + std::to_string(entry.port) + " is listed twice";
    }
    if (!ok) {
      result.errors.push_back(Where(number) + error);
      continue;
    }
    result.cameras.push_back(std::move(entry));
  }
  return result;
}

std::vector<TCameraEntry> CamerasOfSearch(const std::vector<TDevInfo>& rows,
                                          const std::string& user, const std::string& password,
                                          const std::vector<TNetInterface>& adapters) {
  std::vector<TCameraEntry> cameras;
  cameras.reserve(rows.size());
  for (const TDevInfo& row : rows) {
    TCameraEntry camera;
    camera.ip = row.IPAddr;
    camera.port = row.DevPort > 0 ? row.DevPort : 80;
    camera.series = SeriesOfDevice(row);
    const TAccountVerdict verdict = AccountVerdictFor(row, adapters);
    if (verdict.Sent()) {
      camera.user = user;
      camera.password = password;
    } else {
      camera.account_withheld = AccountWithheldText(verdict);
    }
    cameras.push_back(std::move(camera));
  }
  return cameras;
}

}  // namespace camlift
