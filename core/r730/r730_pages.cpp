// SPDX-License-Identifier: Apache-2.0
#include "r730/r730_pages.h"

#include <charconv>
#include <optional>

#include "util/text.h"

namespace camlift {
namespace {

// More access points than any camera lists; a larger count is a broken page, not a reason to
// make millions of records.
constexpr std::int32_t kMaxScanCount = 4096;

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::optional<std::int32_t> TextToInt(std::string_view text) {
  const std::string trimmed = TrimText(text);
  std::string_view digits = trimmed;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  return value;
}

// The text between the first two quote characters (to the end when the second is missing).
std::string Quoted(std::string_view line, char quote) {
  const std::size_t first = line.find(quote);
  if (first == std::string_view::npos) return "";
  const std::size_t second = line.find(quote, first + 1);
  return std::string(line.substr(
      first + 1, second == std::string_view::npos ? std::string_view::npos : second - first - 1));
}

std::int32_t IntAfterEquals(std::string_view line) {
  const std::size_t equals = line.find('=');
  return TextToIntDef(equals == std::string_view::npos ? line : line.substr(equals + 1), 0);
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
      ++end;
    }
    start = end + 1;
  }
  return lines;
}

bool Contains(std::string_view text, const std::string& part) {
  return text.find(part) != std::string_view::npos;
}

}  // namespace

std::int32_t TextToIntDef(std::string_view text, std::int32_t fallback) {
  return TextToInt(text).value_or(fallback);
}

void ReadParam(std::string_view page, std::string_view key, std::string& value) {
  if (key.empty()) return;
  std::size_t at = page.find(key);
  while (at != std::string_view::npos && at + key.size() < page.size() &&
         IsNameChar(page[at + key.size()])) {
    at = page.find(key, at + 1);
  }
  if (at == std::string_view::npos) return;
  const std::size_t semicolon = page.find(';', at);
  if (semicolon == std::string_view::npos) return;
  const std::size_t start = at + key.size() + 1;  // skips the "="
  std::string out;
  for (std::size_t i = start; i < semicolon; ++i) {
    if (page[i] != '\'' && page[i] != '"') out += page[i];
  }
  value = std::move(out);
}

std::int32_t ReadParamInt(std::string_view page, std::string_view key) {
  std::string value;
  ReadParam(page, key, value);
  return TextToIntDef(value, 0);
}

std::string MacPairs(std::string_view text) {
  const std::string lower = LowerAscii(TrimText(text));
  std::string out;
  for (std::size_t i = 0; i + 1 < lower.size(); i += 2) {
    if (!out.empty()) out += ':';
    out.append(lower, i, 2);
  }
  return TrimText(out);
}

TWiFiParams ParseWifiParams(std::string_view page) {
  TWiFiParams p;
  p.Enable = ReadParamInt(page, "var wifi_enable");
  ReadParam(page, "var wifi_ssid", p.SSID);
  p.Mode = ReadParamInt(page, "var wifi_mode");
  p.Encrypt = ReadParamInt(page, "var wifi_encrypt");
  p.AuthType = ReadParamInt(page, "var wifi_authtype");
  p.DefKey = ReadParamInt(page, "var wifi_defkey");
  p.KeyFormat = ReadParamInt(page, "var wifi_keyformat");
  ReadParam(page, "var wifi_key1", p.Key1);
  ReadParam(page, "var wifi_key2", p.Key2);
  ReadParam(page, "var wifi_key3", p.Key3);
  ReadParam(page, "var wifi_key4", p.Key4);
  p.Key1Bits = ReadParamInt(page, "var wifi_key1_bits");
  p.Key2Bits = ReadParamInt(page, "var wifi_key2_bits");
  p.Key3Bits = ReadParamInt(page, "var wifi_key3_bits");
  p.Key4Bits = ReadParamInt(page, "var wifi_key4_bits");
  ReadParam(page, "var wifi_wpa_psk", p.WpaPsk);
  return p;
}

void ParseDdnsParams(std::string_view page, TDdnsParams& params) {
  std::string service;
  ReadParam(page, "ddns_service", service);
  params.Service = service;
  if (service.empty()) {
    params.Status = kDdnsNoService;
    return;
  }
  // A key the page lacks leaves its field empty.
  params.ProxyServer.clear();
  params.ProxyPort.clear();
  params.User.clear();
  params.Password.clear();
  ReadParam(page, "ddns_proxy_svr", params.ProxyServer);
  ReadParam(page, "ddns_proxy_port", params.ProxyPort);
  ReadParam(page, "ddns_user", params.User);
  ReadParam(page, "ddns_pwd", params.Password);
  if (service != "11") {
    params.Status = kDdnsOtherService;
  } else if (params.ProxyServer.empty() || params.ProxyPort.empty() || params.ProxyPort == "0") {
    params.Status = kDdnsNoProxy;
  } else if (!params.User.empty()) {
    params.Status = kDdnsComplete;
  } else {
    params.Status = kDdnsNoUser;
  }
}

std::int32_t ParseWifiScanResult(std::string_view page, std::vector<TWiFiEntry>& list) {
  list.clear();
  std::string_view text = page;
  if (const std::size_t equals = text.find('='); equals != std::string_view::npos) {
    text.remove_prefix(equals + 1);
  }
  const std::size_t semicolon = text.find(';');
  const std::int32_t count =
      semicolon == std::string_view::npos ? 0 : TextToIntDef(text.substr(0, semicolon), 0);
  if (count == 0) return 0;
  if (count < 0 || count > kMaxScanCount) return -1;
  if (const std::size_t first = text.find("ap_ssid[0]"); first != std::string_view::npos) {
    text.remove_prefix(first);
  }
  std::string body;
  for (const char c : text) {
    if (c != ';') body += c;
  }
  std::vector<TWiFiRecord> records(static_cast<std::size_t>(count));
  for (const std::string_view line : Lines(body)) {
    if (TrimText(line).empty()) continue;
    const std::size_t open = line.find('[');
    const std::size_t close = line.find(']');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
      return -1;
    }
    const std::optional<std::int32_t> index = TextToInt(line.substr(open + 1, close - open - 1));
    if (!index) return -1;
    const std::int32_t n = *index;
    if (n < 0 || n >= count) continue;
    TWiFiRecord& r = records[static_cast<std::size_t>(n)];
    const std::string suffix = "[" + std::to_string(n) + "]";
    if (Contains(line, "ap_ssid" + suffix)) r.SSID = TrimText(Quoted(line, '"'));
    if (Contains(line, "ap_mac" + suffix)) r.Mac = Quoted(line, '"');
    if (Contains(line, "ap_security" + suffix)) r.Security = IntAfterEquals(line);
    if (Contains(line, "ap_dbm0" + suffix)) r.Dbm0 = TrimText(Quoted(line, '\''));
    if (Contains(line, "ap_dbm1" + suffix)) r.Dbm1 = Quoted(line, '\'');
    if (Contains(line, "ap_mode" + suffix)) r.Mode = IntAfterEquals(line);
  }
  for (TWiFiRecord& r : records) {
    list.push_back({r.SSID + "(" + r.Dbm0 + ")", std::move(r)});
  }
  return count;
}

std::string StatusPageSysVer(std::string_view page) {
  constexpr std::string_view kKey = "sys_ver=\"";
  const std::size_t key = page.find(kKey);
  if (key == std::string_view::npos) return {};
  const std::string_view value = page.substr(key + kKey.size());
  return std::string(value.substr(0, value.find('"')));
}

}  // namespace camlift
