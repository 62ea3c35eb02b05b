// Sound on and off and the volume of a local port, all through the player
// library whatever backend serves the port's stream.
#include "backends/backend_verdicts.h"
#include "backends/player.h"
#include "core/port_table.h"
#include "qxplaysdk.h"

using namespace qx;

extern "C" {

OVRA_API int32_t OVRA_CALL Ovra_PlaySound(int32_t port) {
  if (CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  return PlayerSucceeded(player_play_sound(port)) ? OVRA_OK : OVRA_PLAYSDK_ERROR;
}

OVRA_API int32_t OVRA_CALL Ovra_StopSound(int32_t port) {
  if (CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  // The player's sound switch is not per port: the port is only checked.
  return PlayerSucceeded(player_stop_sound()) ? OVRA_OK : OVRA_PLAYSDK_ERROR;
}

OVRA_API int32_t OVRA_CALL Ovra_SetVolume(int32_t port, uint32_t volume) {
  if (CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  // The volume is 16 bits wide; higher bits of the argument word are dropped.
  return PlayerSucceeded(player_set_volume(port, static_cast<uint16_t>(volume & 0xFFFFU)))
             ? OVRA_OK
             : OVRA_PLAYSDK_ERROR;
}

OVRA_API int32_t OVRA_CALL Ovra_GetVolume(int32_t port, uint32_t* volume) {
  if (CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  if (volume == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  // Zero-extended: the loudest volume reads 65535.
  *volume = player_get_volume(port);
  return OVRA_OK;
}

}  // extern "C"
