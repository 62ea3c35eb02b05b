// Ovra_SetPlaySpeed and Ovra_GetPlaySpeed: the player library's speed steps
// and the per-port speed word the caller reads back.
#include "backends/player.h"
#include "core/port_table.h"
#include "playback/speed_steps.h"
#include "qxplaysdk.h"

using namespace qx;

extern "C" {

OVRA_API int32_t OVRA_CALL Ovra_SetPlaySpeed(int32_t port, float speed) {
  if (CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  const SpeedPlan plan = PlanSpeedChange(speed);
  // The steps start from whatever speed the player holds for the port; the
  // single steps' answers tell the caller nothing it could act on.
  switch (plan.change) {
    case SpeedChange::kOutOfRange:
      return OVRA_PARAM_OVER;
    case SpeedChange::kFaster:
      for (int32_t i = 0; i < plan.steps; ++i) {
        player_faster(port);
      }
      break;
    case SpeedChange::kNormal:
      player_play(port, nullptr);
      break;
    case SpeedChange::kSlower:
      for (int32_t i = 0; i < plan.steps; ++i) {
        player_slower(port);
      }
      break;
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
