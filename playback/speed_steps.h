// How a requested play speed maps onto the player library's speed control:
// the player knows only single faster and slower steps from whatever speed it
// currently holds, plus a return to normal speed through a play call.
#ifndef QXPLAYSDK_PLAYBACK_SPEED_STEPS_H
#define QXPLAYSDK_PLAYBACK_SPEED_STEPS_H

#include <cstdint>

namespace qx {

inline constexpr float kFastestPlaySpeed = 16.0F;
inline constexpr float kSlowestPlaySpeed = 0.0625F;

enum class SpeedChange {
  kOutOfRange,  // above 16, below 1/16, or not a number: nothing happens
  kFaster,      // `steps` faster steps
  kNormal,      // back to normal speed through a play call
  kSlower,      // `steps` slower steps
};

struct SpeedPlan {
  SpeedChange change = SpeedChange::kOutOfRange;
  int32_t steps = 0;
};

// Steps for a whole speed ratio 1..16 (the integer part of the speed above 1,
// or of its reciprocal below 1): half the ratio, except that 8 and 9 give 3
// and 16 gives 4, which puts the powers of two 2, 4, 8, 16 on 1, 2, 3, 4
// steps.
int32_t StepsForSpeedRatio(int32_t ratio);

// The backend requests for `speed`. Below 1 the reciprocal is taken in double
// precision from the single-precision value the caller passed, so 0.2 (a
// little above one fifth as a float) has the ratio 4.
SpeedPlan PlanSpeedChange(float speed);

}  // namespace qx

#endif  // QXPLAYSDK_PLAYBACK_SPEED_STEPS_H
