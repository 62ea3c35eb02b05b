// Ovra_Play and Ovra_Stop: the two exports that serve both local ports and
// remote slots, choosing by the port number.
#include "backends/backend_verdicts.h"
#include "backends/gpp_player.h"
#include "backends/player.h"
#include "core/port_table.h"
#include "playback/callback_state.h"
#include "playback/issued_speed_steps.h"
#include "playback/served_by.h"
#include "playback/trampolines.h"
#include "qxplaysdk.h"
#include "remote/remote_playback.h"

using namespace qx;

extern "C" {

OVRA_API int32_t OVRA_CALL Ovra_Play(int32_t port, void* window) {
  if (IsRemoteSlot(port)) {
    return PlayRemoteSlot(port, window);
  }
  if (!IsTablePort(port)) {
    return OVRA_PARAM_ERROR;
  }
  // The slot state is not tested: the backend answers for a port it does
  // not know.
  if (ServedBy3gppLibrary(port)) {
    return GppSucceeded(gpp_play(port, window)) ? OVRA_OK : OVRA_3GPPSDK_ERROR;
  }
  // Every play through the player library routes the port's draw
  // notifications to the process-wide draw function again, and returns the
  // port to normal speed.
  player_set_draw_callback(port, DrawTrampoline, 0);
  ClearIssuedSpeedSteps(port);
  return PlayerSucceeded(player_play(port, window)) ? OVRA_OK : OVRA_PLAYSDK_ERROR;
}

OVRA_API int32_t OVRA_CALL Ovra_Stop(int32_t port) {
  if (!IsTablePort(port)) {
    return OVRA_PARAM_ERROR;
  }
  if (IsFree(port)) {
    return OVRA_PARAM_ERROR;
  }
  // Once cleared, the old decode callback begins no more calls; a call
  // already running on another thread is waited for without holding the
  // port lock, which that callback may need (it may set a new callback).
  DecodeGate& gate = DecodeGateOf(port);
  {
    SectionGuard guard(&PortLock(port));
    gate.Clear();
  }
  gate.WaitForRetired();
  if (IsRemoteSlot(port)) {
    SectionGuard guard(&PortLock(port));
    return StopRemoteSlot(port);
  }
  // Without the port lock: the backend waits for a draw or file-end
  // notification under way on the port's thread, whose function may itself
  // call Ovra_Stop or Ovra_SetDecodeCallback on this port.
  if (ServedBy3gppLibrary(port)) {
    return GppSucceeded(gpp_stop(port)) ? OVRA_OK : OVRA_3GPPSDK_ERROR;
  }
  // A stopped port plays at normal speed when it is played again.
  ClearIssuedSpeedSteps(port);
  return PlayerSucceeded(player_stop(port)) ? OVRA_OK : OVRA_PLAYSDK_ERROR;
}

}  // extern "C"
