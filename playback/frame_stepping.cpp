// Frame-by-frame control of a file port: stepping, jumping to a frame and the
// two frame counts. Only a port in file mode accepts these.
//
// The two step exports test the file mode before the slot state, the other
// three after it, so a free port whose source mode is none answers -7 to a
// step and -2 to the rest.
#include "backends/backend_verdicts.h"
#include "backends/player.h"
#include "core/port_table.h"
#include "playback/file_port_check.h"
#include "qxplaysdk.h"

using namespace qx;

namespace {

// Range, then slot state, then file mode: the order of the frame-number
// exports.
int32_t CheckFramePort(int32_t port) {
  if (CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  if (GetSourceMode(port) != kSourceFile) {
    return OVRA_NEED_FILE_MODE;
  }
  return OVRA_OK;
}

}  // namespace

extern "C" {

OVRA_API int32_t OVRA_CALL Ovra_NextFrame(int32_t port) {
  if (const int32_t check = CheckFileModeBeforeSlotState(port); check != OVRA_OK) {
    return check;
  }
  return PlayerSucceeded(player_step_forward(port)) ? OVRA_OK : OVRA_PLAYSDK_ERROR;
}

OVRA_API int32_t OVRA_CALL Ovra_PreviousFrame(int32_t port) {
  if (const int32_t check = CheckFileModeBeforeSlotState(port); check != OVRA_OK) {
    return check;
  }
  return PlayerSucceeded(player_step_back(port)) ? OVRA_OK : OVRA_PLAYSDK_ERROR;
}

OVRA_API int32_t OVRA_CALL Ovra_SetCurrentFrameNum(int32_t port, uint32_t frame) {
  if (const int32_t check = CheckFramePort(port); check != OVRA_OK) {
    return check;
  }
  return PlayerSucceeded(player_set_current_frame(port, frame)) ? OVRA_OK : OVRA_PLAYSDK_ERROR;
}

// The counts are the player's answers, written unjudged: the player has no
// way to report a failure through them.
OVRA_API int32_t OVRA_CALL Ovra_GetFileTotalFrames(int32_t port, uint32_t* frames) {
  if (frames == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  if (const int32_t check = CheckFramePort(port); check != OVRA_OK) {
    return check;
  }
  *frames = player_get_total_frames(port);
  return OVRA_OK;
}

OVRA_API int32_t OVRA_CALL Ovra_GetPlayedFrames(int32_t port, uint32_t* frames) {
  if (frames == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  if (const int32_t check = CheckFramePort(port); check != OVRA_OK) {
    return check;
  }
  *frames = player_get_played_frames(port);
  return OVRA_OK;
}

}  // extern "C"
