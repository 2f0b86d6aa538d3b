// SPDX-License-Identifier: Apache-2.0
#include "discovery/device_export.h"

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>

#include "discovery/account_scope.h"
#include "discovery/dev_types.h"
#include "discovery/device_list.h"
#include "i18n/str_res.h"
#include "platform/broadcast.h"
#include "util/text_fields.h"

namespace camlift {
namespace {

// One column of the CSV file: its header and how a record fills it.
struct TCsvColumn {
  const char* header;
  std::string (*value)(const TDevInfo&);
};

const TCsvColumn kCsvColumns[] = {
    {"Type", [](const TDevInfo& d) { return DevTypeCaption(d.DevType); }},
    {"Series", [](const TDevInfo& d) { return SeriesLetter(SeriesOfDevice(d)); }},
    {"Name", [](const TDevInfo& d) { return DisplayName(d, CurrentLanguage()); }},
    {"IP address", [](const TDevInfo& d) { return d.IPAddr; }},
    {"Port", [](const TDevInfo& d) { return std::to_string(d.DevPort); }},
    {"Version", [](const TDevInfo& d) { return d.Version; }},
    {"ID", [](const TDevInfo& d) { return d.DevID; }},
    {"Serial", [](const TDevInfo& d) { return d.SerialNo; }},
    {"Netmask", [](const TDevInfo& d) { return d.Netmask; }},
    {"Gateway", [](const TDevInfo& d) { return d.Gateway; }},
    {"DNS1", [](const TDevInfo& d) { return d.DNS1; }},
    {"DNS2", [](const TDevInfo& d) { return d.DNS2; }},
    {"DHCP", [](const TDevInfo& d) { return std::string(d.DhcpFlag == 1 ? "yes" : "no"); }},
    {"DDNS host", [](const TDevInfo& d) { return d.DdnsHost; }},
    {"DDNS user", [](const TDevInfo& d) { return d.DdnsUser; }},
};

}  // namespace

namespace {

void AppendCsvRow(std::string& out, const std::vector<std::string>& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ',';
    out += fields[i].empty() ? std::string() : CsvField(fields[i]);
  }
  out += "\r\n";
}

nlohmann::ordered_json DeviceJson(const TDevInfo& d) {
  // Never the DDNS password: the lists end up in logs, mails and bug reports.
  nlohmann::ordered_json json = {{"type", ToValidUtf8(DevTypeCaption(d.DevType))},
                                 {"devType", d.DevType},
                                 {"series", SeriesLetter(SeriesOfDevice(d))},
                                 {"id", ToValidUtf8(d.DevID)},
                                 {"normId", ToValidUtf8(d.NormID)},
                                 {"name", DisplayName(d, CurrentLanguage())},
                                 {"ip", ToValidUtf8(d.IPAddr)},
                                 {"port", d.DevPort},
                                 {"version", ToValidUtf8(d.Version)},
                                 {"netmask", ToValidUtf8(d.Netmask)},
                                 {"gateway", ToValidUtf8(d.Gateway)},
                                 {"dns1", ToValidUtf8(d.DNS1)},
                                 {"dns2", ToValidUtf8(d.DNS2)},
                                 {"serial", ToValidUtf8(d.SerialNo)},
                                 {"dhcp", d.DhcpFlag == 1},
                                 {"ddnsHost", ToValidUtf8(d.DdnsHost)},
                                 {"ddnsUser", ToValidUtf8(d.DdnsUser)}};
  // A reply that names another address than the one it came from.
  if (ReplyFromOtherAddress(d)) json["replyFrom"] = d.ReplyFrom;
  return json;
}

bool IsHostText(const std::string& host) {
  return !host.empty() && host.size() <= 253 && host.front() != '-' && host.front() != '.' &&
         std::all_of(host.begin(), host.end(), [](char c) {
           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '.' || c == '-';
         });
}

}  // namespace

std::string DevicesToCsv(const std::vector<TDevInfo>& rows) {
  std::string out(kUtf8Bom);
  std::vector<std::string> fields;
  for (const TCsvColumn& column : kCsvColumns) fields.emplace_back(column.header);
  AppendCsvRow(out, fields);
  for (const TDevInfo& row : rows) {
    fields.clear();
    for (const TCsvColumn& column : kCsvColumns) fields.push_back(column.value(row));
    AppendCsvRow(out, fields);
  }
  return out;
}

std::string DeviceJsonLine(const TDevInfo& row) { return DeviceJson(row).dump(); }

std::string DevicesToJson(const std::vector<TDevInfo>& rows) {
  nlohmann::ordered_json array = nlohmann::ordered_json::array();
  for (const TDevInfo& row : rows) array.push_back(DeviceJson(row));
  return array.dump(2) + "\n";
}

TExportFormat ExportFormatFor(const std::string& path) {
  std::string tail = path.size() >= 5 ? path.substr(path.size() - 5) : std::string();
  std::transform(tail.begin(), tail.end(), tail.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return tail == ".json" ? TExportFormat::Json : TExportFormat::Csv;
}

bool ExportDevices(const std::string& path, const std::vector<TDevInfo>& rows,
                   TExportFormat format) {
  const std::string bytes =
      format == TExportFormat::Json ? DevicesToJson(rows) : DevicesToCsv(rows);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) return false;
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  return !file.fail();
}

std::optional<std::string> CameraWebUrl(const TDevInfo& row) {
  if (!ParseDottedIPv4(row.IPAddr) && !IsHostText(row.IPAddr)) return std::nullopt;
  const int port = row.DevPort == 0 ? 80 : row.DevPort;
  return "http://" + row.IPAddr + ":" + std::to_string(port) + "/";
}

}  // namespace camlift
