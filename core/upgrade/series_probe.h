// SPDX-License-Identifier: Apache-2.0
// Which series a camera is, for an address typed by hand: asked the way the manual probe asks,
// without an account. Series M writes its status page with single quotes, series P and K with
// double quotes, and series R refuses that page without an account in its own words
// ("Auth Failed"); of the double-quote ones only series K answers the CTP search.
#pragma once

#include <string>
#include <string_view>

#include "discovery/series.h"
#include "platform/run_control.h"

namespace camlift {

// What the status page "/get_status.cgi", asked without an account, says about the series.
enum class TPageSeries {
  Unknown,  // no answer, or an answer that names none
  M,
  PorK,  // double quotes: series P, or series K when the CTP search finds it
  R,
};

// answered: whether any answer arrived; page: its body.
TPageSeries SeriesFromStatusPage(bool answered, std::string_view page);

// Asks ip:port (status page, then for PorK the CTP search). None when it cannot be told.
// Blocks for up to the camera page time-out plus a CTP search; run it off the UI thread.
TSeries ProbeSeries(const std::string& ip, int port, const TRunControl& control);

}  // namespace camlift
