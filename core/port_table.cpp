#include "core/port_table.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <new>

namespace qx {
namespace {

// The locks live in raw storage so that attach and detach decide exactly when
// and in which order they are constructed and destroyed. Each port lock has a
// cache line of its own: the decode threads of different ports take their
// ports' locks for every frame.
struct alignas(kCacheLineSize) PortLockStorage {
  alignas(SectionLock) std::byte bytes[sizeof(SectionLock)];
};

alignas(SectionLock) std::byte table_lock_storage[sizeof(SectionLock)];
PortLockStorage port_lock_storage[kPortCount];

SectionLock* TableLockPointer() {
  return std::launder(reinterpret_cast<SectionLock*>(table_lock_storage));
}
SectionLock* PortLockPointer(int32_t port) {
  return std::launder(reinterpret_cast<SectionLock*>(port_lock_storage[port].bytes));
}

// The four words guarded by the table lock.
std::array<int32_t, kPortCount> slot_state;
std::array<int32_t, kPortCount> source_mode;
std::array<int32_t, kPortCount> media_type;
std::array<int32_t, kPortCount> recording_flag;

std::array<std::atomic<float>, kPortCount> play_speed;

void StoreDefaults() {
  SectionGuard guard(TableLockPointer());
  for (int32_t port = 0; port < kPortCount; ++port) {
    slot_state[port] = kSlotFree;
    source_mode[port] = kSourceNone;
    media_type[port] = kMediaNone;
    recording_flag[port] = 0;
    play_speed[port].store(kDefaultPlaySpeed, std::memory_order_relaxed);
  }
}

int32_t TakeFirstFree(int32_t first, int32_t last, int32_t* out) {
  SectionGuard guard(&TableLock());
  for (int32_t port = first; port <= last; ++port) {
    if (GetSlotState(port) == kSlotFree) {
      *out = port;
      SetSlotState(port, kSlotTaken);
      return 0;
    }
  }
  return -1;
}

int32_t ReleaseInRange(int32_t first, int32_t last, int32_t port) {
  SectionGuard guard(&TableLock());
  if (port < first || port > last) {
    return -2;
  }
  if (GetSlotState(port) != kSlotTaken) {
    return -2;
  }
  SetSlotState(port, kSlotFree);
  return 0;
}

int32_t ReadGuarded(const std::array<int32_t, kPortCount>& words, int32_t port) {
  SectionGuard guard(&TableLock());
  return words[port];
}

void WriteGuarded(std::array<int32_t, kPortCount>& words, int32_t port, int32_t value) {
  SectionGuard guard(&TableLock());
  words[port] = value;
}

#if !defined(_WIN32) || defined(QX_ATTACH_AT_STATIC_INIT)
// Without a DLL entry point the table is attached while the library is
// loaded, before any export can run, and detached when it is unloaded.
struct AttachWhileLoaded {
  AttachWhileLoaded() { AttachPortTable(); }
  ~AttachWhileLoaded() { DetachPortTable(); }
  AttachWhileLoaded(const AttachWhileLoaded&) = delete;
  AttachWhileLoaded& operator=(const AttachWhileLoaded&) = delete;
};
const AttachWhileLoaded attach_while_loaded;
#endif

}  // namespace

void AttachPortTable() {
  new (table_lock_storage) SectionLock();
  for (int32_t port = 0; port < kPortCount; ++port) {
    new (port_lock_storage[port].bytes) SectionLock();
  }
  StoreDefaults();
}

void DetachPortTable() {
  for (int32_t port = kPortCount - 1; port >= 0; --port) {
    PortLockPointer(port)->~SectionLock();
  }
  TableLockPointer()->~SectionLock();
}

SectionLock& TableLock() { return *TableLockPointer(); }
SectionLock& PortLock(int32_t port) { return *PortLockPointer(port); }

int32_t TakeLocalPort(int32_t* port) {
  return TakeFirstFree(kFirstLocalPort, kLastLocalPort, port);
}
int32_t TakeRemoteSlot(int32_t* slot) {
  return TakeFirstFree(kFirstRemoteSlot, kLastRemoteSlot, slot);
}
int32_t ReleaseLocalPort(int32_t port) {
  return ReleaseInRange(kFirstLocalPort, kLastLocalPort, port);
}
int32_t ReleaseRemoteSlot(int32_t slot) {
  return ReleaseInRange(kFirstRemoteSlot, kLastRemoteSlot, slot);
}

int32_t GetSlotState(int32_t port) { return ReadGuarded(slot_state, port); }
void SetSlotState(int32_t port, int32_t value) { WriteGuarded(slot_state, port, value); }
int32_t GetSourceMode(int32_t port) { return ReadGuarded(source_mode, port); }
void SetSourceMode(int32_t port, int32_t value) { WriteGuarded(source_mode, port, value); }
int32_t GetMediaType(int32_t port) { return ReadGuarded(media_type, port); }
void SetMediaType(int32_t port, int32_t value) { WriteGuarded(media_type, port, value); }
int32_t GetRecordingFlag(int32_t port) { return ReadGuarded(recording_flag, port); }
void SetRecordingFlag(int32_t port, int32_t value) { WriteGuarded(recording_flag, port, value); }

float GetPlaySpeed(int32_t port) { return play_speed[port].load(std::memory_order_relaxed); }
void SetPlaySpeed(int32_t port, float speed) {
  play_speed[port].store(speed, std::memory_order_relaxed);
}

void ResetPortTableState() { StoreDefaults(); }

}  // namespace qx
