// SPDX-License-Identifier: Apache-2.0
// The exported camera list: the CSV a spreadsheet opens (BOM, header, quoting, Chinese names),
// the JSON file, and the address of a camera's web page.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "discovery/dev_types.h"
#include "discovery/device_export.h"
#include "support/temp_folder.h"

namespace camlift {
namespace {

// A small RFC 4180 reader: rows of fields, CR LF between rows, quoted fields may hold anything.
std::vector<std::vector<std::string>> ParseCsv(std::string_view text) {
  std::vector<std::vector<std::string>> rows(1);
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      rows.back().push_back(std::move(field));
      field.clear();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      rows.back().push_back(std::move(field));
      field.clear();
      rows.emplace_back();
      ++i;
    } else {
      field += c;
    }
  }
  EXPECT_TRUE(rows.back().empty() && field.empty()) << "the last row lacks its CR LF";
  rows.pop_back();
  return rows;
}

TDevInfo Camera(std::int32_t type, const std::string& name, const std::string& ip) {
  TDevInfo d;
  d.DevType = type;
  d.DevID = "02:00:00:00:00:01";
  d.DevName = name;
  d.IPAddr = ip;
  d.DevPort = 81;
  d.Version = "3.1.4.1";
  d.Netmask = "255.255.255.0";
  d.DdnsUser = "owner";
  d.DdnsPassword = "secret-ddns";
  d.DhcpFlag = 1;
  return d;
}

const std::string kChineseName = "\xE5\x89\x8D\xE9\x97\xA8\xE6\x91\x84\xE5\x83\x8F\xE6\x9C\xBA";

TEST(DeviceExport, CsvOpensWithHeaderChineseNamesAndQuoting) {
  const std::vector<TDevInfo> rows = {
      Camera(kType8600, kChineseName, "192.168.1.9"),
      Camera(kTypeMOI, "Hall, \"north\"\r\nside", "192.168.1.10"),
      Camera(kType1010, "=HYPERLINK(\"http://x\")", "192.168.1.11"),
      Camera(kTypeManual, std::string("bad \xFF byte"), "cam.local"),
  };
  const std::string csv = DevicesToCsv(rows);
  ASSERT_EQ(0u, csv.find("\xEF\xBB\xBF"));  // the UTF-8 byte order mark
  const auto table = ParseCsv(std::string_view(csv).substr(3));
  ASSERT_EQ(5u, table.size());
  const std::vector<std::string> header = {
      "Type",    "Series",  "Name", "IP address", "Port", "Version",   "ID",       "Serial",
      "Netmask", "Gateway", "DNS1", "DNS2",       "DHCP", "DDNS host", "DDNS user"};
  EXPECT_EQ(header, table[0]);
  for (const auto& row : table) EXPECT_EQ(header.size(), row.size());
  EXPECT_EQ((std::vector<std::string>{"R", "R", kChineseName, "192.168.1.9", "81", "3.1.4.1",
                                      "02:00:00:00:00:01", "", "255.255.255.0", "", "", "", "yes",
                                      "", "owner"}),
            table[1]);
  // Quoted for its comma and quotes; its line break is cleaned as every camera text shown is
  // (the file may well be printed on a terminal).
  EXPECT_EQ("Hall, \"north\"  side", table[2][2]);
  // A name a spreadsheet would run as a formula stays text.
  EXPECT_EQ("'=HYPERLINK(\"http://x\")", table[3][2]);
  EXPECT_EQ("manual", table[4][0]);
  EXPECT_EQ("", table[4][1]);
  EXPECT_EQ("bad \xEF\xBF\xBD byte", table[4][2]);
  EXPECT_EQ(std::string::npos, csv.find("secret-ddns"));
  // An empty list is still a file with its header.
  EXPECT_EQ(1u, ParseCsv(DevicesToCsv({}).substr(3)).size());
}

TEST(DeviceExport, JsonFileAndLines) {
  const std::vector<TDevInfo> rows = {Camera(kType8600, kChineseName, "192.168.1.9"),
                                      Camera(kTypeText, "k", "192.168.1.10")};
  const auto array = nlohmann::json::parse(DevicesToJson(rows));
  ASSERT_TRUE(array.is_array());
  ASSERT_EQ(2u, array.size());
  EXPECT_EQ(kChineseName, array[0]["name"]);
  EXPECT_EQ("R", array[0]["series"]);
  EXPECT_EQ(81, array[0]["port"]);
  EXPECT_EQ(true, array[0]["dhcp"]);
  EXPECT_EQ("K", array[1]["series"]);
  EXPECT_EQ(std::string::npos, DevicesToJson(rows).find("secret-ddns"));
  const std::string line = DeviceJsonLine(rows[1]);
  EXPECT_EQ(std::string::npos, line.find('\n'));
  EXPECT_EQ(array[1], nlohmann::json::parse(line));
}

TEST(DeviceExport, FileFormatByNameAndWriteFailure) {
  test::TTempFolder temp;
  const std::vector<TDevInfo> rows = {Camera(kType8600, kChineseName, "192.168.1.9")};
  EXPECT_EQ(TExportFormat::Json, ExportFormatFor("/x/list.JSON"));
  EXPECT_EQ(TExportFormat::Csv, ExportFormatFor("/x/list.csv"));
  EXPECT_EQ(TExportFormat::Csv, ExportFormatFor("json"));
  const std::string csv_path = temp.path() + "list.csv";
  ASSERT_TRUE(ExportDevices(csv_path, rows, ExportFormatFor(csv_path)));
  EXPECT_EQ(
      "\xEF\xBB\xBF"
      "Type,Series,Name,IP address,Port,Version,ID,Serial,Netmask,Gateway,DNS1,DNS2,DHCP,"
      "DDNS host,DDNS user\r\n"
      "R,R," +
          kChineseName +
          ",192.168.1.9,81,3.1.4.1,02:00:00:00:00:01,,255.255.255.0,,,,yes,,owner\r\n",
      test::ReadFile(csv_path));
  const std::string json_path = temp.path() + "list.json";
  ASSERT_TRUE(ExportDevices(json_path, rows, ExportFormatFor(json_path)));
  nlohmann::json expected = nlohmann::json::parse(R"([{
      "type": "R", "devType": 9, "series": "R", "id": "02:00:00:00:00:01", "normId": "",
      "ip": "192.168.1.9", "port": 81, "version": "3.1.4.1", "netmask": "255.255.255.0",
      "gateway": "", "dns1": "", "dns2": "", "serial": "", "dhcp": true, "ddnsHost": "",
      "ddnsUser": "owner"}])");
  expected[0]["name"] = kChineseName;
  EXPECT_EQ(expected, nlohmann::json::parse(test::ReadFile(json_path)));
  EXPECT_FALSE(ExportDevices(temp.path() + "no/such/folder/list.csv", rows, TExportFormat::Csv));
}

TEST(DeviceExport, WebPageAddressOnlyForPlainHosts) {
  struct Case {
    const char* ip;
    std::uint16_t port;
    std::optional<std::string> url;
  };
  const Case cases[] = {
      {"192.168.1.9", 81, "http://192.168.1.9:81/"},
      {"192.168.1.9", 0, "http://192.168.1.9:80/"},
      {"cam-1.local", 8080, "http://cam-1.local:8080/"},
      {"", 80, std::nullopt},
      {"1.2.3.4/evil?x=", 80, std::nullopt},
      {"a b", 80, std::nullopt},
      {"javascript:alert(1)", 80, std::nullopt},
      {"user@host", 80, std::nullopt},
  };
  for (const Case& c : cases) {
    TDevInfo d;
    d.IPAddr = c.ip;
    d.DevPort = c.port;
    EXPECT_EQ(c.url, CameraWebUrl(d)) << c.ip;
  }
}

}  // namespace
}  // namespace camlift
