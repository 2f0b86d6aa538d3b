// SPDX-License-Identifier: Apache-2.0
#include "upgrade/series_probe.h"

#include "ctp/ctp_upgrade.h"
#include "discovery/camera_page.h"
#include "platform/timing.h"
#include "util/tools.h"

namespace camlift {

TPageSeries SeriesFromStatusPage(bool answered, std::string_view page) {
  if (!answered) return TPageSeries::Unknown;
  if (PageRefusesAccount(page)) return TPageSeries::R;
  const std::size_t key = page.find("sys_ver=");
  if (key == std::string_view::npos || key + 8 >= page.size()) return TPageSeries::Unknown;
  switch (page[key + 8]) {
    case '\'':
      return TPageSeries::M;
    case '"':
      return TPageSeries::PorK;
    default:
      return TPageSeries::Unknown;
  }
}

TSeries ProbeSeries(const std::string& ip, int port, const TRunControl& control) {
  std::string page;
  const bool answered =
      TTools::HttpGetText("http://" + ip + ":" + std::to_string(port) + "/get_status.cgi", page,
                          Millis(Wait::CameraPageRead), "", "");
  switch (SeriesFromStatusPage(answered, page)) {
    case TPageSeries::Unknown:
      return TSeries::None;
    case TPageSeries::M:
      return TSeries::M;
    case TPageSeries::R:
      return TSeries::R;
    case TPageSeries::PorK:
      break;
  }
  if (control.Cancelled()) return TSeries::None;
  std::string version;
  try {
    ReadVersionBySearch(ip, port, version, control);
  } catch (const std::exception&) {
    version.clear();  // no socket: the search cannot tell, the page says P
  }
  return version.empty() ? TSeries::P : TSeries::K;
}

}  // namespace camlift
