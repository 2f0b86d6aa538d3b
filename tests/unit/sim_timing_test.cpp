// SPDX-License-Identifier: Apache-2.0
// The simulator's waits scale with CAMLIFT_TIME_SCALE as the client's do, so that a scaled
// client still outwaits a scaled camera's restart; time-outs keep the client's floor.
#include "sim_timing.h"

#include <gtest/gtest.h>

namespace camlift::sim {
namespace {

TEST(SimTiming, ValuesScaleAndTimeoutsKeepTheFloor) {
  struct Case {
    SimWait wait;
    int at_one;
    int at_hundredth;
  };
  const Case cases[] = {
      {SimWait::RebootTime, 8000, 80},        // a pause goes down with the scale
      {SimWait::ClientIdle, 60000, 1000},     // 600, raised to the floor of time-outs
      {SimWait::SniffWindow, 2000, 1000},     // 20 would be below the floor of 1000
      {SimWait::CloseLinger, 1000, 1000},     // 10 likewise
      {SimWait::CtpContinuePause, 1000, 10},  // a pause has no floor
  };
  for (const Case& c : cases) {
    SetTimeScaleForTesting(1.0);
    EXPECT_EQ(c.at_one, Millis(c.wait)) << c.at_one;
    SetTimeScaleForTesting(0.01);
    EXPECT_EQ(c.at_hundredth, Millis(c.wait)) << c.at_one;
  }
  SetTimeScaleForTesting(0.0);
  EXPECT_EQ(0, Millis(SimWait::RebootTime));
  SetTimeScaleForTesting(-1);
}

}  // namespace
}  // namespace camlift::sim
