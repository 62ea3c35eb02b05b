// The mapping from a requested play speed to the player's speed steps.
#include "playback/speed_steps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using qx::PlanSpeedChange;
using qx::SpeedChange;

// Steps for the whole ratios 1..16, index 0 unused.
constexpr int32_t kStepsByRatio[17] = {-1, 0, 1, 1, 2, 2, 3, 3, 3, 3, 5, 5, 6, 6, 7, 7, 4};

TEST(SpeedSteps, EveryWholeRatioHasItsStepCount) {
  for (int32_t ratio = 1; ratio <= 16; ++ratio) {
    SCOPED_TRACE(ratio);
    EXPECT_EQ(qx::StepsForSpeedRatio(ratio), kStepsByRatio[ratio]);
  }
}

TEST(SpeedSteps, FasterSideUsesTheIntegerPartOfTheSpeed) {
  for (int32_t n = 2; n <= 16; ++n) {
    SCOPED_TRACE(n);
    const auto whole = PlanSpeedChange(static_cast<float>(n));
    EXPECT_EQ(whole.change, SpeedChange::kFaster);
    EXPECT_EQ(whole.steps, kStepsByRatio[n]);
    if (n < 16) {
      const auto between = PlanSpeedChange(static_cast<float>(n) + 0.75F);
      EXPECT_EQ(between.change, SpeedChange::kFaster);
      EXPECT_EQ(between.steps, kStepsByRatio[n]);
    }
  }
  const auto just_above_one = PlanSpeedChange(1.5F);
  EXPECT_EQ(just_above_one.change, SpeedChange::kFaster);
  EXPECT_EQ(just_above_one.steps, 0);
}

TEST(SpeedSteps, SlowerSideUsesTheIntegerPartOfTheReciprocal) {
  for (int32_t m = 1; m <= 16; ++m) {
    SCOPED_TRACE(m);
    // 1 / (m + 0.5) has a reciprocal safely inside [m, m + 1); 1/16 is the
    // slowest speed accepted, so m = 16 is reached by 0.0625 itself.
    const float speed = m == 16 ? 0.0625F : static_cast<float>(1.0 / (m + 0.5));
    const auto plan = PlanSpeedChange(speed);
    EXPECT_EQ(plan.change, SpeedChange::kSlower);
    EXPECT_EQ(plan.steps, kStepsByRatio[m]);
  }
}

TEST(SpeedSteps, SlowerSideWorksOnTheSinglePrecisionValue) {
  struct Case {
    float speed;
    int32_t steps;
  };
  // 0.2F and 0.1F lie above one fifth and one tenth, so their reciprocals
  // are just below 5 and 10; 1/3 and 1/9 as floats give reciprocals just
  // above 3 and 9.
  const Case cases[] = {{0.2F, 2},  {1.0F / 3.0F, 1},  {1.0F / 9.0F, 3}, {0.5F, 1},
                        {0.25F, 2}, {0.125F, 3},       {0.0625F, 4},     {0.999F, 0},
                        {0.51F, 0}, {1.0F / 16.0F, 4}, {0.1F, 3},        {0.07F, 7}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.speed);
    const auto plan = PlanSpeedChange(c.speed);
    EXPECT_EQ(plan.change, SpeedChange::kSlower);
    EXPECT_EQ(plan.steps, c.steps);
  }
}

TEST(SpeedSteps, NormalSpeedAndTheRangeLimits) {
  EXPECT_EQ(PlanSpeedChange(1.0F).change, SpeedChange::kNormal);
  EXPECT_EQ(PlanSpeedChange(16.0F).change, SpeedChange::kFaster);
  EXPECT_EQ(PlanSpeedChange(0.0625F).change, SpeedChange::kSlower);
  const float refused[] = {std::nextafter(16.0F, 17.0F),
                           16.5F,
                           std::nextafter(0.0625F, 0.0F),
                           0.06F,
                           0.0F,
                           -1.0F,
                           -0.0F,
                           std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity()};
  for (float speed : refused) {
    SCOPED_TRACE(speed);
    EXPECT_EQ(PlanSpeedChange(speed).change, SpeedChange::kOutOfRange);
  }
}

}  // namespace
