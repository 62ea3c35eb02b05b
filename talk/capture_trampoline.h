// The function the library registers with the player library's audio
// capture. It turns each captured block into voice frames for the caller's
// audio-in callback, on the player library's capture thread.
#ifndef QXPLAYSDK_TALK_CAPTURE_TRAMPOLINE_H
#define QXPLAYSDK_TALK_CAPTURE_TRAMPOLINE_H

#include <cstdint>

#include "backends/player.h"

namespace qx {

// Delivers the block as voice frames of at most 4096 audio bytes each, in
// order, every one with the header; an empty block gives the header alone.
// A null block carries no audio whatever length comes with it and is
// delivered as an empty block. `user` is handed back with every frame.
// Does nothing while no audio-in callback is set.
void QX_BACKEND_CALL CaptureTrampoline(const void* block, uint32_t length, uintptr_t user);

}  // namespace qx

#endif  // QXPLAYSDK_TALK_CAPTURE_TRAMPOLINE_H
