// The records of the remote slots 0..32: what each open slot plays and the
// network library's handle of its last playback.
//
// Whether a slot is open is the port table's slot state, not part of the
// record. A free slot's record is all zero, which reads as a by-name slot
// with login handle 0 and an empty name. The records are not guarded by a
// lock: the caller does not open, play, stop or close one slot from two
// threads at once, and a slot changes hands only through the table lock.
#ifndef QXPLAYSDK_REMOTE_REMOTE_SLOTS_H
#define QXPLAYSDK_REMOTE_REMOTE_SLOTS_H

#include <cstdint>

#include "core/port_record.h"

namespace qx {

// The record of a slot 0..32 (RemoteSlot) lives in the port table; the
// caller checks the range.

// Sets the slot's record to all zero.
void ClearRemoteSlot(int32_t slot);

}  // namespace qx

#endif  // QXPLAYSDK_REMOTE_REMOTE_SLOTS_H
