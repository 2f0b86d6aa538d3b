// SPDX-License-Identifier: Apache-2.0
#include "util/transfer_pace.h"

#include <algorithm>
#include <cmath>

namespace camlift {

std::int64_t TTransferPace::LimitMs(std::uint64_t announced) const {
  if (rule_.limit_ms <= 0) return 0;
  if (rule_.allowance_rate == 0) return rule_.limit_ms;
  const std::uint64_t expected =
      announced > 0 ? std::min(announced, rule_.assumed_bytes) : rule_.assumed_bytes;
  const double allowance = std::ceil(static_cast<double>(expected) * 1000.0 /
                                     static_cast<double>(rule_.allowance_rate) * rule_.time_scale);
  double limit = static_cast<double>(rule_.limit_ms) + allowance;
  if (rule_.max_limit_ms > 0) limit = std::min(limit, static_cast<double>(rule_.max_limit_ms));
  return static_cast<std::int64_t>(limit);
}

TPaceVerdict TTransferPace::Check(std::int64_t elapsed_ms, std::uint64_t bytes,
                                  std::uint64_t announced) {
  const std::int64_t limit = LimitMs(announced);
  if (limit > 0 && elapsed_ms > limit) return TPaceVerdict::TooLong;
  if (rule_.min_rate == 0 || rule_.window_ms <= 0) return TPaceVerdict::Going;
  if (!flowing_) {
    // The rate counts from the first byte: the wait before it is the stall timer's.
    if (bytes == 0) return TPaceVerdict::Going;
    flowing_ = true;
    window_start_ms_ = elapsed_ms;
    window_start_bytes_ = 0;
    return TPaceVerdict::Going;
  }
  const std::int64_t span = elapsed_ms - window_start_ms_;
  if (span < rule_.window_ms) return TPaceVerdict::Going;
  const double wanted = static_cast<double>(rule_.min_rate) * static_cast<double>(span) / 1000.0;
  if (static_cast<double>(bytes - window_start_bytes_) < wanted) return TPaceVerdict::TooSlow;
  window_start_ms_ = elapsed_ms;
  window_start_bytes_ = bytes;
  return TPaceVerdict::Going;
}

}  // namespace camlift
