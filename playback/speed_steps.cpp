#include "playback/speed_steps.h"

#include <cmath>

namespace qx {

int32_t StepsForSpeedRatio(int32_t ratio) {
  const int32_t steps = ratio / 2;
  if (steps == 4) {
    return 3;
  }
  if (steps == 8) {
    return 4;
  }
  return steps;
}

SpeedPlan PlanSpeedChange(float speed) {
  if (std::isnan(speed) || speed > kFastestPlaySpeed || speed < kSlowestPlaySpeed) {
    return {SpeedChange::kOutOfRange, 0};
  }
  if (speed > 1.0F) {
    // In range, so the truncation lies in 1..16.
    const auto ratio = static_cast<int32_t>(speed);
    return {SpeedChange::kFaster, StepsForSpeedRatio(ratio)};
  }
  if (speed == 1.0F) {
    return {SpeedChange::kNormal, 0};
  }
  // At least 1/16, so the reciprocal is at most 16.
  const auto ratio = static_cast<int32_t>(1.0 / static_cast<double>(speed));
  return {SpeedChange::kSlower, StepsForSpeedRatio(ratio)};
}

}  // namespace qx
