// SPDX-License-Identifier: Apache-2.0
// The camera list as a file installers can work with: CSV (UTF-8 with a byte order mark, so that
// spreadsheet programs show Chinese names, a header row, CR LF line ends) or JSON. The selection
// dialog's "Export the list..." and `camlift search --csv` write the same bytes. A name that is
// not UTF-8 is decoded with the code page of the current language, as the list shows it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "discovery/dev_info.h"
#include "util/text_fields.h"

namespace camlift {

enum class TExportFormat { Csv, Json };

// The CSV file: BOM, header row, one row per camera. Never the DDNS password.
std::string DevicesToCsv(const std::vector<TDevInfo>& rows);
// One camera as one line of compact JSON (the form of `camlift search --json`).
std::string DeviceJsonLine(const TDevInfo& row);
// The JSON file: an array of the objects of DeviceJsonLine, indented.
std::string DevicesToJson(const std::vector<TDevInfo>& rows);

// Json for a name ending in ".json" (case ignored), else Csv.
TExportFormat ExportFormatFor(const std::string& path);
// Writes the file; false when it cannot be written.
bool ExportDevices(const std::string& path, const std::vector<TDevInfo>& rows,
                   TExportFormat format);

// "http://ip:port/" of the camera's web page (port 80 when the record has none), or none when
// the address is not a plain IPv4 address or host name: the text comes from the network and
// goes to the browser.
std::optional<std::string> CameraWebUrl(const TDevInfo& row);

}  // namespace camlift
