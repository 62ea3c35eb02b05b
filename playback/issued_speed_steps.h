// The speed steps the library has issued to the player library for each
// local port since the port last played at normal speed: positive for
// faster steps, negative for slower ones.
//
// The player library knows only single steps from the speed it holds, so a
// requested speed is reached by issuing the difference between this count
// and the requested speed's steps. The count returns to 0 whenever the port
// is known to play at normal speed again: a new source is opened, the port
// is played or stopped through the player library, or normal speed is asked
// for. Like the play speed word, it is one indivisible word per port read
// and written without a lock; the caller serialises the calls on one port.
#ifndef QXPLAYSDK_PLAYBACK_ISSUED_SPEED_STEPS_H
#define QXPLAYSDK_PLAYBACK_ISSUED_SPEED_STEPS_H

#include <cstdint>

namespace qx {

// For ports 0..97.
int32_t IssuedSpeedSteps(int32_t port);
void SetIssuedSpeedSteps(int32_t port, int32_t steps);
inline void ClearIssuedSpeedSteps(int32_t port) { SetIssuedSpeedSteps(port, 0); }

}  // namespace qx

#endif  // QXPLAYSDK_PLAYBACK_ISSUED_SPEED_STEPS_H
