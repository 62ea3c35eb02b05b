// The port table: the process-wide registry of the 98 slots 0..97.
//
// Slots 0..32 are remote slots and 33..97 local ports; they are taken and
// released as two independent pools, lowest free number first. Four words per
// slot (slot state, source mode, media type, recording flag) are guarded by
// the table lock, one access at a time; only take and release hold it across
// a scan or a check and the mark. Each slot also has a port lock that
// serialises Ovra_Stop, Ovra_SetDecodeCallback and the decode trampoline on
// that port. Lock order: a port lock may be held while the table lock is
// entered, never the reverse, and no code holds two port locks.
//
// None of the operations below checks its port argument unless it says so:
// callers range-check a port before it indexes anything here.
#ifndef QXPLAYSDK_CORE_PORT_TABLE_H
#define QXPLAYSDK_CORE_PORT_TABLE_H

#include <cstddef>
#include <cstdint>

#include "core/section_lock.h"

namespace qx {

inline constexpr int32_t kPortCount = 98;
inline constexpr int32_t kFirstRemoteSlot = 0;
inline constexpr int32_t kLastRemoteSlot = 32;
inline constexpr int32_t kFirstLocalPort = 33;
inline constexpr int32_t kLastLocalPort = 97;
inline constexpr int32_t kVoicePort = 99;

// Slot state values.
inline constexpr int32_t kSlotTaken = 0;
inline constexpr int32_t kSlotFree = 1;

// Source mode values.
inline constexpr int32_t kSourceNone = 0;
inline constexpr int32_t kSourceStream = 1;
inline constexpr int32_t kSourceFile = 2;

// Media type values: which backend serves a local port's stream.
inline constexpr int32_t kMediaPlayer = 0;
inline constexpr int32_t kMedia3gpp = 1;
inline constexpr int32_t kMediaNone = 2;

inline constexpr float kDefaultPlaySpeed = 4.0F;

// Per-port state that decode threads write at the frame rate (a port's lock,
// its decode counter) sits on a cache line of its own, so that threads
// delivering frames of different ports never stall on each other's writes.
inline constexpr std::size_t kCacheLineSize = 64;

constexpr bool IsLocalPort(int32_t port) {
  return port >= kFirstLocalPort && port <= kLastLocalPort;
}
constexpr bool IsRemoteSlot(int32_t port) {
  return port >= kFirstRemoteSlot && port <= kLastRemoteSlot;
}
constexpr bool IsTablePort(int32_t port) { return port >= 0 && port < kPortCount; }

// Library lifecycle. Attach constructs the table lock, then the port locks
// 0..97, then stores every slot's defaults; detach destroys the port locks
// 97..0, then the table lock. Detach closes no backend resource.
void AttachPortTable();
void DetachPortTable();

SectionLock& TableLock();
SectionLock& PortLock(int32_t port);

// 0 and the lowest free local port (33..97) stored through `port`, or -1
// when none is free (nothing stored).
int32_t TakeLocalPort(int32_t* port);
// 0 and the lowest free remote slot (0..32) stored through `slot`, or -1.
int32_t TakeRemoteSlot(int32_t* slot);
// 0, or -2 when the number lies outside 33..97 or the port is not taken.
int32_t ReleaseLocalPort(int32_t port);
// 0, or -2 when the number lies outside 0..32 or the slot is not taken.
int32_t ReleaseRemoteSlot(int32_t slot);

int32_t GetSlotState(int32_t port);
void SetSlotState(int32_t port, int32_t value);
int32_t GetSourceMode(int32_t port);
void SetSourceMode(int32_t port, int32_t value);
int32_t GetMediaType(int32_t port);
void SetMediaType(int32_t port, int32_t value);
int32_t GetRecordingFlag(int32_t port);
void SetRecordingFlag(int32_t port, int32_t value);

// The play speed word: read and written without a lock, each access
// indivisible.
float GetPlaySpeed(int32_t port);
void SetPlaySpeed(int32_t port, float speed);

// The four table-lock words of a port, read in one holding of the table
// lock: for the checks that look at several of them one after the other
// with nothing done in between, so their order and results stay those of
// separate reads.
struct PortWords {
  int32_t slot_state;
  int32_t source_mode;
  int32_t media_type;
  int32_t recording_flag;
};
PortWords ReadPortWords(int32_t port);

inline bool IsFree(int32_t port) { return GetSlotState(port) == kSlotFree; }

// The check that most local-port exports make: -2 for a number outside
// 33..97 or a free port, else 0.
inline int32_t CheckLocalPort(int32_t port) {
  if (!IsLocalPort(port) || IsFree(port)) {
    return -2;
  }
  return 0;
}

}  // namespace qx

#endif  // QXPLAYSDK_CORE_PORT_TABLE_H
