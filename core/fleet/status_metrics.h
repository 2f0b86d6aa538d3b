// SPDX-License-Identifier: Apache-2.0
// The fleet state of a status run in the Prometheus text exposition format, for the textfile
// collector of a node exporter: one family per metric with its HELP and TYPE lines, one sample
// per camera and address.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fleet/status_read.h"

namespace camlift {

// now_seconds: the time of the run (Unix time), the value of
// camlift_status_last_run_timestamp_seconds. A camera listed twice under one address and port
// appears once (its first row): a collector refuses a file with two samples of one series.
std::string StatusMetricsText(const std::vector<TCameraStatus>& rows, std::int64_t now_seconds);

// A label value as the format writes it between its quotes: cleaned as every outside text
// (valid UTF-8, control characters blanks), backslash and double quote escaped.
std::string MetricLabelValue(const std::string& text);

}  // namespace camlift
