// Ovra_SetPlaySpeed and Ovra_GetPlaySpeed: the player library's speed steps
// and the per-port speed word the caller reads back. The steps of a speed
// come from the step table (speed_steps.h); what is issued is the difference
// to the steps already taken (issued_speed_steps.h).
#include "backends/player.h"
#include "core/port_table.h"
#include "playback/issued_speed_steps.h"
#include "playback/speed_steps.h"
#include "qxplaysdk.h"

using namespace qx;

extern "C" {

OVRA_API int32_t OVRA_CALL Ovra_SetPlaySpeed(int32_t port, float speed) {
  if (CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  const SpeedPlan plan = PlanSpeedChange(speed);
  if (plan.change == SpeedChange::kOutOfRange) {
    return OVRA_PARAM_OVER;
  }
  if (plan.change == SpeedChange::kNormal) {
    player_play(port, nullptr);
    ClearIssuedSpeedSteps(port);
  } else {
    // A speed is absolute: only the steps between those already issued and
    // this speed's steps are issued. The single steps' answers tell the
    // caller nothing it could act on and are not examined.
    const int32_t target = plan.change == SpeedChange::kFaster ? plan.steps : -plan.steps;
    for (int32_t issued = IssuedSpeedSteps(port); issued < target; ++issued) {
      player_faster(port);
    }
    for (int32_t issued = IssuedSpeedSteps(port); issued > target; --issued) {
      player_slower(port);
    }
    SetIssuedSpeedSteps(port, target);
  }
  // Kept exactly as asked, also between two steps (1.5 makes no call).
  SetPlaySpeed(port, speed);
  return OVRA_OK;
}

OVRA_API int32_t OVRA_CALL Ovra_GetPlaySpeed(int32_t port, float* speed) {
  if (speed == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  // The word belongs to the number, not to an open source: a free port
  // answers with what its last owner left, or 4.0 from load.
  if (!IsLocalPort(port)) {
    return OVRA_PARAM_ERROR;
  }
  *speed = GetPlaySpeed(port);
  return OVRA_OK;
}

}  // extern "C"
