#include "process/pacing.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(PacingTest, TheGrowingPauseDoublesUpTo100ms) {
  double pause = kFirstPauseSeconds;
  const double expected[] = {0.004, 0.008, 0.016, 0.032, 0.064, 0.1, 0.1};
  for (double next : expected) {
    pause = GrowPause(pause);
    EXPECT_DOUBLE_EQ(pause, next);
  }
}

// A cheap retake keeps retakes the growing pause apart; a costly one stretches the pause to 60
// times its cost, so retakes take 1 / 61 of a core however costly they are.
TEST(PacingTest, APauseIsAtLeastSixtyTimesTheRetakesCost) {
  const struct {
    double growing;
    double wall;
    double cost;
    double pause;
  } cases[] = {{0.002, 0.001, 0.0, 0.001},  {0.1, 0.004, 0.001, 0.096},
               {0.1, 0.004, 0.002, 0.12},   {0.002, 0.015, 0.011, 0.66},
               {0.1, 0.05, 0.039, 2.34},    {0.01, 0.02, 0.0, 0.0}};
  for (const auto& c : cases) {
    const double pause = PauseBeforeRetake(c.growing, c.wall, c.cost);
    EXPECT_NEAR(pause, c.pause, 1e-12) << c.growing << " " << c.wall << " " << c.cost;
    if (c.cost > 0) {
      EXPECT_LE(c.cost / (c.wall + pause), 1 / 61.0 + 1e-12);
    }
  }
}

TEST(PacingTest, OneCostlyRetakeDoesNotStretchTheWait) {
  EXPECT_DOUBLE_EQ(PacingCost(-1, 0.004), 0.004);      // the first retake counts alone
  EXPECT_DOUBLE_EQ(PacingCost(0.001, 0.034), 0.001);   // a single busy moment
  EXPECT_DOUBLE_EQ(PacingCost(0.011, 0.012), 0.011);   // costly every time
}

TEST(PacingTest, ProcessorTimeCountsChildrenOnceReaped) {
  const double before = ProcessorSecondsUsed();
  EXPECT_EQ(std::system("i=0; while [ $i -lt 20000 ]; do i=$((i+1)); done"), 0);
  EXPECT_GT(ProcessorSecondsUsed() - before, 0.001) << "the shell's work must count";
}

}  // namespace
