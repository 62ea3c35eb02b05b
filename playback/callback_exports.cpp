// The three registrations of the caller's notification functions. The player
// library only ever sees the library's own trampolines; the caller's
// functions stay here and the trampolines forward to them.
#include "backends/backend_verdicts.h"
#include "backends/player.h"
#include "core/port_table.h"
#include "playback/callback_state.h"
#include "playback/file_port_check.h"
#include "playback/trampolines.h"
#include "qxplaysdk.h"

using namespace qx;

extern "C" {

OVRA_API int32_t OVRA_CALL Ovra_RegisterDrawFun(int32_t port, OvraDrawFun draw_fun,
                                                uintptr_t user) {
  if (CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  // One draw function serves every port, null switching them all off; the
  // player's answer to the registration does not change that.
  StoreDrawFunction(draw_fun);
  player_set_draw_callback(port, DrawTrampoline, user);
  return OVRA_OK;
}

OVRA_API int32_t OVRA_CALL Ovra_SetFileEndCallback(int32_t port, OvraFileEndCallback callback,
                                                   uintptr_t user) {
  // Only a file has an end. The mode is looked at before the slot state, so a
  // free port (mode none) is reported as not being a file.
  if (const int32_t check = CheckFileModeBeforeSlotState(port); check != OVRA_OK) {
    return check;
  }
  // Replaced before the player is asked: file ports registered earlier get
  // the new function even when the player refuses this port.
  StoreFileEndCallback(callback);
  return PlayerSucceeded(player_set_file_end_callback(port, FileEndTrampoline, user))
             ? OVRA_OK
             : OVRA_PLAYSDK_ERROR;
}

OVRA_API int32_t OVRA_CALL Ovra_SetDecodeCallback(int32_t port, OvraDecodeCallback callback,
                                                  uintptr_t user) {
  if (CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  if (callback == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  // The port lock keeps Ovra_Stop out until the player holds the
  // registration. The frame numbering is left alone: only a stop restarts
  // it. A call of the old callback still running on another thread is
  // waited for once the lock is let go (that callback may need it).
  DecodeGate& gate = DecodeGateOf(port);
  int32_t result = OVRA_OK;
  {
    SectionGuard guard(&PortLock(port));
    gate.Replace(callback);
    if (!PlayerAccepted(player_set_decode_callback(port, DecodeTrampoline, user))) {
      gate.Replace(nullptr);
      result = OVRA_PLAYSDK_ERROR;
    } else if (!PlayerSucceeded(player_select_decode_stream(port, 1))) {
      // A refused stream selection leaves the registration in place: frames
      // keep reaching the callback, the caller only learns of the refusal.
      result = OVRA_PLAYSDK_ERROR;
    }
  }
  gate.WaitForRetired();
  return result;
}

}  // extern "C"
