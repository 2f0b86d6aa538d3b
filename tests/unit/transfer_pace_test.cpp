// SPDX-License-Identifier: Apache-2.0
// The bound of one transfer: an overall limit (for archives one that grows with the announced
// size, up to a ceiling) and a minimum average rate over each window once bytes flow. A peer
// that sends a byte now and then, which restarts any stall timer, still meets an end.
#include "util/transfer_pace.h"

#include <gtest/gtest.h>

namespace camlift {
namespace {

TEST(TransferPace, OverallLimitAndItsSizeAllowance) {
  TPaceRule rule;
  rule.limit_ms = 120000;
  rule.allowance_rate = 16384;
  rule.assumed_bytes = 256ull << 20;
  rule.max_limit_ms = 3600000;
  const TTransferPace pace(rule);
  // 8 MiB at 16 KiB a second: 512 s besides the 120 s.
  EXPECT_EQ(632000, pace.LimitMs(8ull << 20));
  // Nothing announced: the cap is assumed, and the ceiling holds.
  EXPECT_EQ(3600000, pace.LimitMs(0));
  // More announced than the cap: the cap counts.
  EXPECT_EQ(3600000, pace.LimitMs(1ull << 40));
  rule.time_scale = 0.01;
  EXPECT_EQ(125120, TTransferPace(rule).LimitMs(8ull << 20));
  rule.allowance_rate = 0;
  EXPECT_EQ(120000, TTransferPace(rule).LimitMs(8ull << 20));
  rule.limit_ms = 0;
  EXPECT_EQ(0, TTransferPace(rule).LimitMs(8ull << 20));
}

TEST(TransferPace, Verdicts) {
  TPaceRule fixed;
  fixed.limit_ms = 60000;
  fixed.min_rate = 16384;
  fixed.window_ms = 30000;
  struct Step {
    std::int64_t elapsed_ms;
    std::uint64_t bytes;
    TPaceVerdict verdict;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"a byte every 29 s",
       {{0, 0, TPaceVerdict::Going},
        {29000, 1, TPaceVerdict::Going},
        {58000, 2, TPaceVerdict::Going},
        {59001, 3, TPaceVerdict::TooSlow}}},
      {"fast enough, but past the limit",
       {{1000, 100000, TPaceVerdict::Going},
        {31000, 700000, TPaceVerdict::Going},
        {60000, 1200000, TPaceVerdict::Going},
        {60001, 1200001, TPaceVerdict::TooLong}}},
      {"slow to start: the rate counts from the first byte",
       {{25000, 0, TPaceVerdict::Going},
        {26000, 10, TPaceVerdict::Going},
        {55000, 491520, TPaceVerdict::Going},
        {56001, 600000, TPaceVerdict::Going}}},
      {"a window just below the rate",
       {{0, 1, TPaceVerdict::Going}, {30000, 491519, TPaceVerdict::TooSlow}}},
      {"each window is judged on its own",
       {{0, 1, TPaceVerdict::Going},
        {30000, 10000000, TPaceVerdict::Going},
        {59999, 10000001, TPaceVerdict::Going},
        {60000, 10000002, TPaceVerdict::TooSlow}}},
  };
  for (const Case& c : cases) {
    TTransferPace pace(fixed);
    for (const Step& step : c.steps) {
      EXPECT_EQ(step.verdict, pace.Check(step.elapsed_ms, step.bytes, 0))
          << c.name << " at " << step.elapsed_ms << " ms";
    }
  }
}

TEST(TransferPace, NoRuleNoEnd) {
  TTransferPace pace{TPaceRule{}};
  EXPECT_EQ(TPaceVerdict::Going, pace.Check(0, 1, 0));
  EXPECT_EQ(TPaceVerdict::Going, pace.Check(100000000, 2, 0));
}

}  // namespace
}  // namespace camlift
