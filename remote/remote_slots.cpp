#include "remote/remote_slots.h"

namespace qx {

void ClearRemoteSlot(int32_t slot) { RemoteSlot(slot) = RemoteSlotRecord{}; }

}  // namespace qx
