// The remote branches of Ovra_Play and Ovra_Stop, for remote slots 0..32.
#ifndef QXPLAYSDK_REMOTE_REMOTE_PLAYBACK_H
#define QXPLAYSDK_REMOTE_REMOTE_PLAYBACK_H

#include <cstdint>

namespace qx {

// Ovra_Play on a remote slot: starts the playback that the slot's record
// describes, into `window`. The slot state is not consulted.
int32_t PlayRemoteSlot(int32_t slot, void* window);

// Ovra_Stop on a remote slot, called after the slot was found taken, with
// the slot's port lock held: stops the playback named by the record's
// playback handle.
int32_t StopRemoteSlot(int32_t slot);

}  // namespace qx

#endif  // QXPLAYSDK_REMOTE_REMOTE_PLAYBACK_H
