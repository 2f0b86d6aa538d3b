// SPDX-License-Identifier: Apache-2.0
// Reading and writing the CGI pages of series R cameras: pure functions over the page texts and
// the queries the configuration calls send.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "r730/r730_params.h"

namespace camlift {

// The value of `key=value;` in a page: from one character after the key up to the next ";", with
// every "'" and double quote removed. The key must stand as a whole name (what follows it is not
// a letter, digit or "_"), so "var wifi_key1" never reads "var wifi_key1_bits". Without the key,
// or without a ";" after it, value keeps what it held.
void ReadParam(std::string_view page, std::string_view key, std::string& value);
// The same read as a number; 0 when missing or not a number.
std::int32_t ReadParamInt(std::string_view page, std::string_view key);
// A whole decimal number (blanks around it allowed); fallback otherwise.
std::int32_t TextToIntDef(std::string_view text, std::int32_t fallback);

// The factory page's form of a MAC text: lower case, cut into pairs of two characters joined by
// ":" (an odd last character is dropped), trimmed.
std::string MacPairs(std::string_view text);

// The system version of a "/get_Status.cgi" page: what follows the first `sys_ver="` up to the
// next double quote, or to the end of a page cut off inside the value; "" without that key.
std::string StatusPageSysVer(std::string_view page);

// The Wi-Fi settings of a "/get_params.cgi" page.
TWiFiParams ParseWifiParams(std::string_view page);
// The DDNS fields of a "/get_params.cgi" page into params, and its Status (0 to 4). Service is
// read first; when it is empty the other fields keep what they held.
void ParseDdnsParams(std::string_view page, TDdnsParams& params);

// The "/get_wifi_scan_result.cgi" page: the count of access points, or -1 for a page that
// cannot be read (an index that is not a number, a count out of range). list receives one entry
// per access point in index order.
std::int32_t ParseWifiScanResult(std::string_view page, std::vector<TWiFiEntry>& list);

}  // namespace camlift
