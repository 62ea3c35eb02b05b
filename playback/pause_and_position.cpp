// Ovra_Pause, Ovra_SetPlayPos and Ovra_GetPlayPos. The caller counts the
// position in hundredths; the player library takes and answers a fraction
// as a single-precision float.
#include <cmath>
#include <limits>

#include "backends/backend_verdicts.h"
#include "backends/player.h"
#include "core/port_table.h"
#include "qxplaysdk.h"

using namespace qx;

namespace {

constexpr double kHundredths = 100.0;

float ToPlayerPosition(int32_t hundredths) {
  // Divided in double and rounded once, so 50 becomes exactly 0.5F and -10
  // the float nearest to -0.1.
  return static_cast<float>(static_cast<double>(hundredths) / kHundredths);
}

int32_t FromPlayerPosition(float position) {
  // Multiplied in double: 0.29F lies just below 0.29 and must give 28, which
  // a single-precision product would round up to 29.
  const double scaled = static_cast<double>(position) * kHundredths;
  // The answer is the player's and is not judged, but a value no 32-bit
  // position can hold must still convert to something defined.
  if (std::isnan(scaled)) {
    return 0;
  }
  if (scaled >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  if (scaled <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(scaled);  // truncates toward zero
}

}  // namespace

extern "C" {

OVRA_API int32_t OVRA_CALL Ovra_Pause(int32_t port, uint32_t pause) {
  if (CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  return PlayerSucceeded(player_pause(port, pause)) ? OVRA_OK : OVRA_PLAYSDK_ERROR;
}

OVRA_API int32_t OVRA_CALL Ovra_SetPlayPos(int32_t port, int32_t position) {
  if (CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  // No range test: the player decides what a position beyond the ends means.
  return PlayerSucceeded(player_set_position(port, ToPlayerPosition(position)))
             ? OVRA_OK
             : OVRA_PLAYSDK_ERROR;
}

OVRA_API int32_t OVRA_CALL Ovra_GetPlayPos(int32_t port, int32_t* position) {
  if (position == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  if (CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  *position = FromPlayerPosition(player_get_position(port));
  return OVRA_OK;
}

}  // extern "C"
