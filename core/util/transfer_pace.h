// SPDX-License-Identifier: Apache-2.0
// How long one HTTP transfer may take. A stall timer alone ends nothing when the peer sends a
// byte now and then; a transfer also has an overall limit (for an archive, one that grows with
// the size it announces) and, once data flows, a minimum average rate over each window.
#pragma once

#include <cstdint>

namespace camlift {

struct TPaceRule {
  // The whole transfer, from its start, in milliseconds; 0: no overall limit.
  std::int64_t limit_ms = 0;
  // Size allowance: the limit grows by what the expected size takes at allowance_rate bytes a
  // second (times time_scale), up to max_limit_ms (0: no ceiling). The expected size is the one
  // the peer announces, at most assumed_bytes, or assumed_bytes when it announces none.
  std::uint64_t allowance_rate = 0;  // 0: no allowance
  std::uint64_t assumed_bytes = 0;
  std::int64_t max_limit_ms = 0;
  double time_scale = 1.0;
  // Minimum average rate in bytes a second, checked over each window of window_ms from the first
  // byte on; 0: no rate rule.
  std::uint64_t min_rate = 0;
  std::int64_t window_ms = 0;
};

enum class TPaceVerdict { Going, TooSlow, TooLong };

class TTransferPace {
 public:
  explicit TTransferPace(const TPaceRule& rule) : rule_(rule) {}

  // elapsed_ms: since the transfer began; bytes: moved so far; announced: the size the peer
  // announced (0: none).
  TPaceVerdict Check(std::int64_t elapsed_ms, std::uint64_t bytes, std::uint64_t announced);
  // The overall limit for that announced size (0: none).
  std::int64_t LimitMs(std::uint64_t announced) const;

 private:
  TPaceRule rule_;
  bool flowing_ = false;
  std::int64_t window_start_ms_ = 0;
  std::uint64_t window_start_bytes_ = 0;
};

}  // namespace camlift
