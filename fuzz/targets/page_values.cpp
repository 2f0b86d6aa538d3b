// SPDX-License-Identifier: Apache-2.0
// The readers of camera pages: the quoted value after a key ("/appver.js", status pages), the
// text before the last pattern (model keys), and the series R "key=value;" pages (Wi-Fi and
// DDNS settings), the series a status page tells, and the firmware check of a file's first
// bytes. The first line of the input is the key, the rest the page.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

#include "fuzz_check.h"
#include "r730/r730_pages.h"
#include "upgrade/firmware_check.h"
#include "upgrade/series_probe.h"
#include "upgrade/upgrade_object.h"
#include "util/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace camlift;
  const std::string_view input = fuzz::AsText(data, size);
  const std::size_t line_end = input.find('\n');
  const std::string key(input.substr(0, line_end == std::string_view::npos ? 0 : line_end));
  const std::string page(line_end == std::string_view::npos ? input : input.substr(line_end + 1));

  for (const std::string& name : {key, std::string("app_ver"), std::string("sys_ver")}) {
    for (const char quote : {'"', '\''}) {
      std::string value = "unchanged";
      if (QuotedValueAfter(page, name, quote, value)) {
        FUZZ_CHECK(value.size() <= page.size());
        FUZZ_CHECK(value.find(quote) == std::string::npos);
      }
    }
  }
  const std::string before = TextBeforeLast(key, page);
  FUZZ_CHECK(before.size() <= page.size());
  FUZZ_CHECK(page.compare(0, before.size(), before) == 0);
  TrimText(page);

  std::string value;
  ReadParam(page, key, value);
  ReadParamInt(page, key);
  TextToIntDef(page, 0);
  MacPairs(page);
  ParseWifiParams(page);
  TDdnsParams ddns;
  ParseDdnsParams(page, ddns);
  FUZZ_CHECK(ddns.Status >= 0 && ddns.Status <= 4);

  // The status page of a typed address, read for its series.
  const TPageSeries series = SeriesFromStatusPage(true, page);
  FUZZ_CHECK(series != TPageSeries::M || page.find("sys_ver='") != std::string::npos);
  // The first bytes of a local file, checked for each form of firmware.
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(page.data());
  const std::span<const std::uint8_t> head(bytes, std::min(page.size(), kFirmwareHeadBytes));
  for (const TFirmwareForm& form :
       {TFirmwareForm{}, TFirmwareForm{TFirmwareForm::Kind::Package, {}},
        TFirmwareForm{TFirmwareForm::Kind::Signature, {0x42, 0x4E, 0x45, 0x47}}}) {
    CheckFirmwareBytes(form, head, page.size());
  }
  return 0;
}
