// SPDX-License-Identifier: Apache-2.0
#include "sim_series.h"

#include <stdexcept>

#include "util/text.h"

namespace camlift::sim {
namespace {

// Series K has the pages of P and takes its firmware over its command service; M puts its values
// in apostrophes and starts its firmware files with a signature; P has its upload CGIs under
// /cgi-bin/ with Basic authentication; R takes every account in the query, answers "Auth Failed",
// writes its UI version without the "v" and serves everything on its upload port too.
constexpr TSimSeriesProfile kProfiles[] = {
    {.series = TSimSeries::K,
     .letter = "K",
     .page_account = TSimAccount::Basic,
     .page_refusal = TSimRefusal::Challenge,
     .status_needs_account = false,
     .status_alias = "",
     .status_quote = '"',
     .ui_version_prefix = "v",
     .delivery = TSimDelivery::CommandService,
     .system_upload = "",
     .ui_upload = "",
     .upload_account = TSimAccount::Basic,
     .upload_port = false,
     .system_signature = "",
     .ui_signature = "",
     .search_dialect = "",
     .config_calls = false,
     .site = {"K10", "3.1.X.7", "3.1.8.7", "3.1.9.7", "3.1.5.7", TCameraFault::CtpDataRefused}},
    {.series = TSimSeries::M,
     .letter = "M",
     .page_account = TSimAccount::Basic,
     .page_refusal = TSimRefusal::Challenge,
     .status_needs_account = false,
     .status_alias = "",
     .status_quote = '\'',
     .ui_version_prefix = "v",
     .delivery = TSimDelivery::UploadCgi,
     .system_upload = "/upgrade_firmware.cgi",
     .ui_upload = "/upgrade_htmls.cgi",
     .upload_account = TSimAccount::UserPwd,
     .upload_port = false,
     .system_signature = std::string_view("BNEG", 4),
     .ui_signature = std::string_view("\xBD\x9A\x0C\x44", 4),
     .search_dialect = "moi",
     .config_calls = false,
     .site = {"M20", "1.2.3", "1.2.3.4", "1.2.3.5", "1.2.3.2", TCameraFault::RedirectUpload}},
    {.series = TSimSeries::P,
     .letter = "P",
     .page_account = TSimAccount::Basic,
     .page_refusal = TSimRefusal::Challenge,
     .status_needs_account = false,
     .status_alias = "",
     .status_quote = '"',
     .ui_version_prefix = "v",
     .delivery = TSimDelivery::UploadCgi,
     .system_upload = "/cgi-bin/upgrade_firmware.cgi",
     .ui_upload = "/cgi-bin/upgrade_htmls.cgi",
     .upload_account = TSimAccount::Basic,
     .upload_port = false,
     .system_signature = "",
     .ui_signature = "",
     .search_dialect = "1010",
     .config_calls = false,
     .site = {"P100", "P100", "2.0.0.0", "2.0.0.1", "1.9.0.0", TCameraFault::RedirectUpload}},
    {.series = TSimSeries::R,
     .letter = "R",
     .page_account = TSimAccount::UserPwd,
     .page_refusal = TSimRefusal::AuthFailed,
     .status_needs_account = true,
     .status_alias = "/get_Status.cgi",
     .status_quote = '"',
     .ui_version_prefix = "",
     .delivery = TSimDelivery::UploadCgi,
     .system_upload = "/upgrade_firmware.cgi",
     .ui_upload = "/upgrade_htmls.cgi",
     .upload_account = TSimAccount::LoginUse,
     .upload_port = true,
     .system_signature = "",
     .ui_signature = "",
     .search_dialect = "8600",
     .config_calls = true,
     .site = {"R730", "R730", "84.2.0.121", "84.2.0.130", "84.2.0.100",
              TCameraFault::RedirectUpload}},
};

}  // namespace

std::span<const TSimSeriesProfile> SeriesProfiles() { return kProfiles; }

const TSimSeriesProfile& ProfileOf(TSimSeries series) {
  for (const TSimSeriesProfile& profile : kProfiles) {
    if (profile.series == series) return profile;
  }
  throw std::logic_error("a series without a profile row");
}

bool HasSide(const TSimSeriesProfile& profile, TFaultSide side) {
  switch (side) {
    case TFaultSide::Any:
      return true;
    case TFaultSide::CommandService:
      return profile.delivery == TSimDelivery::CommandService;
    case TFaultSide::ConfigCalls:
      return profile.config_calls;
  }
  return false;
}

std::string FaultMismatch(TSimSeries series, TCameraFault fault) {
  const TFaultSide side = CameraFaultSide(fault);
  if (HasSide(ProfileOf(series), side)) return "";
  std::string able;
  for (const TSimSeriesProfile& profile : kProfiles) {
    if (!HasSide(profile, side)) continue;
    if (!able.empty()) able += ", ";
    able += profile.letter;
  }
  return "the fault \"" + CameraFaultName(fault) + "\" acts on a side that series " +
         SeriesText(series) + " cameras lack (series " + able + " only)";
}

std::optional<TSimSeries> ParseSeries(std::string_view text) {
  const std::string wanted = LowerAscii(text);
  for (const TSimSeriesProfile& profile : kProfiles) {
    if (wanted == LowerAscii(profile.letter)) return profile.series;
  }
  return std::nullopt;
}

std::string SeriesText(TSimSeries series) { return std::string(ProfileOf(series).letter); }

std::string SeriesList() {
  std::string list;
  const std::size_t count = std::size(kProfiles);
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) list += i + 1 == count ? " or " : ", ";
    list += kProfiles[i].letter;
  }
  return list;
}

}  // namespace camlift::sim
