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

#include <cstddef>
#include <cstdint>

namespace qx {

inline constexpr int32_t kRemoteByName = 0;
inline constexpr int32_t kRemoteByTime = 1;

inline constexpr std::size_t kRemoteTimeTextSize = 32;
inline constexpr std::size_t kRemoteFileNameSize = 260;

struct RemoteSlotRecord {
  int32_t kind;      // kRemoteByName or kRemoteByTime
  int32_t login;     // login handle given at open, not checked
  int32_t playback;  // the network library's answer to the last play
  int32_t channel;   // by time: the recorder channel
  char start[kRemoteTimeTextSize];
  char end[kRemoteTimeTextSize];
  char file_name[kRemoteFileNameSize];
};

// The record of a slot 0..32; the caller checks the range.
RemoteSlotRecord& RemoteSlot(int32_t slot);

// Sets the slot's record to all zero.
void ClearRemoteSlot(int32_t slot);

// Copies the NUL-terminated `text` into a field of `size` characters,
// keeping at most size - 1 of them so that the field always ends in a NUL;
// the rest of the field is NUL-filled. Reads no further than it keeps.
void CopyIntoField(char* field, std::size_t size, const char* text);

// All records zero again, as when the library is loaded. For test isolation
// only.
void ResetRemoteSlotState();

}  // namespace qx

#endif  // QXPLAYSDK_REMOTE_REMOTE_SLOTS_H
