// SPDX-License-Identifier: Apache-2.0
// The fleet state in the Prometheus text format: every family with its HELP and TYPE lines, one
// sample per camera, label values escaped, texts from cameras cleaned.
#include "fleet/status_metrics.h"

#include <gtest/gtest.h>

namespace camlift {
namespace {

TCameraStatus Row(const std::string& ip, int port, TSeries series, TCameraState state,
                  bool answered, const std::string& model = "", const std::string& current = "",
                  const std::string& latest = "") {
  TCameraStatus row;
  row.camera.ip = ip;
  row.camera.port = port;
  row.camera.series = series;
  row.state = state;
  row.answered = answered;
  row.model = model;
  row.current = current;
  row.latest = latest;
  return row;
}

TEST(StatusMetrics, EveryStateAsItsSamples) {
  const std::vector<TCameraStatus> rows = {
      Row("10.0.0.1", 81, TSeries::M, TCameraState::UpdateAvailable, true, "camlift", "1.2.3.4",
          "1.2.3.5"),
      Row("10.0.0.2", 8081, TSeries::P, TCameraState::UpToDate, true, "P100", "2.0.0.1", "2.0.0.1"),
      Row("10.0.0.3", 81, TSeries::K, TCameraState::AccountRefused, true),
      Row("10.0.0.4", 81, TSeries::R, TCameraState::Unreachable, false),
      Row("10.0.0.5", 81, TSeries::None, TCameraState::UnknownSeries, false),
      // Read without the account: it answered with a refusal of no account of ours.
      Row("10.0.0.6", 81, TSeries::M, TCameraState::AccountNotSent, true),
      // The same address and port again (a list or a search that names it twice): left out.
      Row("10.0.0.1", 81, TSeries::P, TCameraState::UpToDate, true, "other", "9", "9"),
  };
  EXPECT_EQ(
      "# HELP camlift_camera_info A camera of the status run: its address, series and model, the "
      "version it runs and the catalogue's version for it. Always 1.\n"
      "# TYPE camlift_camera_info gauge\n"
      "camlift_camera_info{ip=\"10.0.0.1\",port=\"81\",series=\"M\",model=\"camlift\","
      "current=\"1.2.3.4\",latest=\"1.2.3.5\"} 1\n"
      "camlift_camera_info{ip=\"10.0.0.2\",port=\"8081\",series=\"P\",model=\"P100\","
      "current=\"2.0.0.1\",latest=\"2.0.0.1\"} 1\n"
      "camlift_camera_info{ip=\"10.0.0.3\",port=\"81\",series=\"K\",model=\"\",current=\"\","
      "latest=\"\"} 1\n"
      "camlift_camera_info{ip=\"10.0.0.4\",port=\"81\",series=\"R\",model=\"\",current=\"\","
      "latest=\"\"} 1\n"
      "camlift_camera_info{ip=\"10.0.0.5\",port=\"81\",series=\"\",model=\"\",current=\"\","
      "latest=\"\"} 1\n"
      "camlift_camera_info{ip=\"10.0.0.6\",port=\"81\",series=\"M\",model=\"\",current=\"\","
      "latest=\"\"} 1\n"
      "# HELP camlift_camera_update_available 1 when the catalogue offers the camera another "
      "version it may take.\n"
      "# TYPE camlift_camera_update_available gauge\n"
      "camlift_camera_update_available{ip=\"10.0.0.1\",port=\"81\"} 1\n"
      "camlift_camera_update_available{ip=\"10.0.0.2\",port=\"8081\"} 0\n"
      "camlift_camera_update_available{ip=\"10.0.0.3\",port=\"81\"} 0\n"
      "camlift_camera_update_available{ip=\"10.0.0.4\",port=\"81\"} 0\n"
      "camlift_camera_update_available{ip=\"10.0.0.5\",port=\"81\"} 0\n"
      "camlift_camera_update_available{ip=\"10.0.0.6\",port=\"81\"} 0\n"
      "# HELP camlift_camera_reachable 1 when the camera answered its reads (also with a refusal "
      "of the account). A camera of no known series is not asked and has none.\n"
      "# TYPE camlift_camera_reachable gauge\n"
      "camlift_camera_reachable{ip=\"10.0.0.1\",port=\"81\"} 1\n"
      "camlift_camera_reachable{ip=\"10.0.0.2\",port=\"8081\"} 1\n"
      "camlift_camera_reachable{ip=\"10.0.0.3\",port=\"81\"} 1\n"
      "camlift_camera_reachable{ip=\"10.0.0.4\",port=\"81\"} 0\n"
      "camlift_camera_reachable{ip=\"10.0.0.6\",port=\"81\"} 1\n"
      "# HELP camlift_camera_account_refused 1 when the camera refused the account it was given. "
      "A camera of no known series is not asked and has none.\n"
      "# TYPE camlift_camera_account_refused gauge\n"
      "camlift_camera_account_refused{ip=\"10.0.0.1\",port=\"81\"} 0\n"
      "camlift_camera_account_refused{ip=\"10.0.0.2\",port=\"8081\"} 0\n"
      "camlift_camera_account_refused{ip=\"10.0.0.3\",port=\"81\"} 1\n"
      "camlift_camera_account_refused{ip=\"10.0.0.4\",port=\"81\"} 0\n"
      "camlift_camera_account_refused{ip=\"10.0.0.6\",port=\"81\"} 0\n"
      "# HELP camlift_status_last_run_timestamp_seconds When this status run read the cameras "
      "(Unix time).\n"
      "# TYPE camlift_status_last_run_timestamp_seconds gauge\n"
      "camlift_status_last_run_timestamp_seconds 1765432100\n",
      StatusMetricsText(rows, 1765432100));
}

TEST(StatusMetrics, NoCameraStillSaysWhenTheRunWas) {
  const std::string text = StatusMetricsText({}, 42);
  EXPECT_NE(std::string::npos, text.find("# TYPE camlift_camera_info gauge\n"
                                         "# HELP camlift_camera_update_available"));
  EXPECT_TRUE(text.ends_with("gauge\ncamlift_status_last_run_timestamp_seconds 42\n")) << text;
}

// Models and versions come from cameras: whatever they hold stays inside its quotes.
TEST(StatusMetrics, LabelValuesFromCameras) {
  const struct {
    std::string raw;
    std::string written;
  } rows[] = {
      {"R730", "R730"},
      {"say \"hi\"", "say \\\"hi\\\""},
      {"C:\\fw\\", "C:\\\\fw\\\\"},
      {"1.0\n# TYPE x counter", "1.0 # TYPE x counter"},
      {"a\r\tb\x1b[2Jc", "a  b [2Jc"},
      {"\xc2\x9b"
       "31m",
       " 31m"},
      {"caf\xe9", "caf\xef\xbf\xbd"},
      {"\xe6\x91\x84\xe5\x83\x8f\xe6\x9c\xba", "\xe6\x91\x84\xe5\x83\x8f\xe6\x9c\xba"},
      {"", ""},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(row.written, MetricLabelValue(row.raw)) << row.raw;
  }
}

}  // namespace
}  // namespace camlift
