// Remote slot playback. Provisional until the remote recorder work lands:
// every remote playback is refused as a network failure.
#include "remote/remote_playback.h"

#include "qxplaysdk.h"

namespace qx {

int32_t PlayRemoteSlot(int32_t /*slot*/, void* /*window*/) { return OVRA_NETSDK_ERROR; }
int32_t StopRemoteSlot(int32_t /*slot*/) { return OVRA_NETSDK_ERROR; }

}  // namespace qx
