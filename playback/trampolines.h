// The library's own functions registered with the player library. Each one
// forwards a notification to the caller's function, on the player library's
// thread.
#ifndef QXPLAYSDK_PLAYBACK_TRAMPOLINES_H
#define QXPLAYSDK_PLAYBACK_TRAMPOLINES_H

#include <cstdint>

#include "backends/player.h"

namespace qx {

void QX_BACKEND_CALL DrawTrampoline(int32_t port, uintptr_t value2, uintptr_t value3);
void QX_BACKEND_CALL FileEndTrampoline(int32_t port, uintptr_t value2);
void QX_BACKEND_CALL DecodeTrampoline(int32_t port, uintptr_t value2, uintptr_t value3,
                                      const PlayerFrameInfo* frame_info, uintptr_t user,
                                      uintptr_t value6);

}  // namespace qx

#endif  // QXPLAYSDK_PLAYBACK_TRAMPOLINES_H
