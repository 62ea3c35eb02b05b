#include "core/port_table.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <new>

#include "core/port_record.h"
#include "core/port_table_testing.h"

namespace qx {
namespace {

// The whole table: one record per slot, the remote slot records, the
// process-wide values and the table lock. Defined before the attach below,
// so it is made first when the library loads.
struct PortTableState {
  std::array<PortRecord, kPortCount> ports;
  std::array<RemoteSlotRecord, kLastRemoteSlot + 1> remote_slots{};
  ProcessValues process;
  // Raw storage, as for the port locks: attach and detach decide when the
  // table lock is made and destroyed.
  alignas(SectionLock) std::byte table_lock[sizeof(SectionLock)]{};
};

// Never destroyed: a backend thread may still be leaving a notification of a
// port closed from inside it while the process exits, and must find the
// port's record intact.
PortTableState& table = *new PortTableState;

SectionLock* TableLockPointer() {
  return std::launder(reinterpret_cast<SectionLock*>(table.table_lock));
}
SectionLock* PortLockPointer(int32_t port) {
  return std::launder(reinterpret_cast<SectionLock*>(table.ports[port].port_lock));
}

void StoreWordDefaults(int32_t port) QX_REQUIRES(TableLock()) {
  PortRecord& record = table.ports[port];
  record.slot_state = kSlotFree;
  record.source_mode = kSourceNone;
  record.media_type = kMediaNone;
  record.recording_flag = 0;
  record.play_speed.store(kDefaultPlaySpeed, std::memory_order_relaxed);
}

// The analysis cannot follow the table lock's re-entry: the take and release
// hold it across the scan (or check) and the mark, and mark through the
// slot-state setter, which enters the lock a second time. Clang's analysis
// has no notion of a re-entrant capability and would report the second
// entry as a double lock, so these two are left out of it. The lock really
// is re-entrant (SectionLock), so the second entry is sound.
int32_t TakeFirstFree(int32_t first, int32_t last, int32_t* out) QX_NO_THREAD_SAFETY_ANALYSIS {
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

int32_t ReleaseInRange(int32_t first, int32_t last, int32_t port) QX_NO_THREAD_SAFETY_ANALYSIS {
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
  new (table.table_lock) SectionLock();
  for (int32_t port = 0; port < kPortCount; ++port) {
    new (table.ports[port].port_lock) SectionLock();
  }
  SectionGuard guard(&TableLock());
  for (int32_t port = 0; port < kPortCount; ++port) {
    StoreWordDefaults(port);
  }
}

void DetachPortTable() {
  for (int32_t port = kPortCount - 1; port >= 0; --port) {
    PortLockPointer(port)->~SectionLock();
  }
  TableLockPointer()->~SectionLock();
}

SectionLock& TableLock() { return *TableLockPointer(); }
SectionLock& PortLock(int32_t port) { return *PortLockPointer(port); }

PortRecord& PortRecordOf(int32_t port) { return table.ports[port]; }
RemoteSlotRecord& RemoteSlot(int32_t slot) { return table.remote_slots[slot]; }
ProcessValues& Process() { return table.process; }

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

int32_t GetSlotState(int32_t port) {
  SectionGuard guard(&TableLock());
  return table.ports[port].slot_state;
}
void SetSlotState(int32_t port, int32_t value) {
  SectionGuard guard(&TableLock());
  table.ports[port].slot_state = value;
}
int32_t GetSourceMode(int32_t port) {
  SectionGuard guard(&TableLock());
  return table.ports[port].source_mode;
}
void SetSourceMode(int32_t port, int32_t value) {
  SectionGuard guard(&TableLock());
  table.ports[port].source_mode = value;
}
int32_t GetMediaType(int32_t port) {
  SectionGuard guard(&TableLock());
  return table.ports[port].media_type;
}
void SetMediaType(int32_t port, int32_t value) {
  SectionGuard guard(&TableLock());
  table.ports[port].media_type = value;
}
int32_t GetRecordingFlag(int32_t port) {
  SectionGuard guard(&TableLock());
  return table.ports[port].recording_flag;
}
void SetRecordingFlag(int32_t port, int32_t value) {
  SectionGuard guard(&TableLock());
  table.ports[port].recording_flag = value;
}

PortWords ReadPortWords(int32_t port) {
  SectionGuard guard(&TableLock());
  const PortRecord& record = table.ports[port];
  return PortWords{record.slot_state, record.source_mode, record.media_type, record.recording_flag};
}

float GetPlaySpeed(int32_t port) {
  return table.ports[port].play_speed.load(std::memory_order_relaxed);
}
void SetPlaySpeed(int32_t port, float speed) {
  table.ports[port].play_speed.store(speed, std::memory_order_relaxed);
}

void ResetPortTableForTesting() {
  for (int32_t port = 0; port < kPortCount; ++port) {
    PortRecord& record = table.ports[port];
    {
      SectionGuard guard(&TableLock());
      StoreWordDefaults(port);
    }
    record.decode_gate.Clear();
    record.decode_gate.WaitForRetired();
    record.issued_speed_steps.store(0, std::memory_order_relaxed);
    record.record_file_ready.store(nullptr, std::memory_order_release);
    record.record_file = RecordFileEntry{};
  }
  table.remote_slots.fill(RemoteSlotRecord{});
  table.process.draw_function.store(nullptr, std::memory_order_release);
  table.process.file_end_callback.store(nullptr, std::memory_order_release);
  table.process.audio_in_callback.store(nullptr, std::memory_order_release);
  table.process.voice_initialised.store(false, std::memory_order_release);
}

}  // namespace qx
