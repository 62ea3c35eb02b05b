// What the port table keeps for each slot, in one record per slot, and the
// process-wide values held beside the table.
//
// Who guards what:
//  - the table lock: slot state, source mode, media type and recording flag
//    (checked by the compiler: GUARDED_BY);
//  - the slot's port lock: serialises Ovra_Stop and Ovra_SetDecodeCallback;
//  - the decode gate's own lock: the decode callback and frame counter
//    (core/decode_gate.h);
//  - nothing: play speed, the record-file-ready callback, the record file
//    entry, the remote slot records and the process-wide values. The caller
//    serialises the exports that act on one port; the single words among
//    them are atomics, so that a racing read sees the old or the new value.
#ifndef QXPLAYSDK_CORE_PORT_RECORD_H
#define QXPLAYSDK_CORE_PORT_RECORD_H

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/decode_gate.h"
#include "core/port_table.h"
#include "core/thread_annotations.h"
#include "qxplaysdk.h"

namespace qx {

// Width of every kept file name, terminator included (CopyKeptText).
inline constexpr std::size_t kKeptFileNameSize = 260;
inline constexpr std::size_t kRecordFileNameSize = kKeptFileNameSize;
inline constexpr std::size_t kRemoteFileNameSize = kKeptFileNameSize;
inline constexpr std::size_t kRemoteTimeTextSize = 32;

// The name of the file a port records into and the user data registered
// with its record-file-ready callback.
struct RecordFileEntry {
  std::array<char, kRecordFileNameSize> name{};
  uintptr_t user = 0;
};

inline constexpr int32_t kRemoteByName = 0;
inline constexpr int32_t kRemoteByTime = 1;

// What a remote slot plays. A free slot's record is all zero, which reads as
// a by-name slot with login handle 0 and an empty name.
struct RemoteSlotRecord {
  int32_t kind;      // kRemoteByName or kRemoteByTime
  int32_t login;     // login handle given at open, not checked
  int32_t playback;  // the network library's answer to the last play
  int32_t channel;   // by time: the recorder channel
  char start[kRemoteTimeTextSize];
  char end[kRemoteTimeTextSize];
  char file_name[kRemoteFileNameSize];
};

struct alignas(kCacheLineSize) PortRecord {
  // The port lock and the decode gate start the record, apart from the
  // words other threads read: the thread delivering this port's frames
  // writes the gate for every frame. The lock lives in raw storage so that
  // attach and detach decide when it is made and destroyed.
  alignas(SectionLock) std::byte port_lock[sizeof(SectionLock)]{};
  DecodeGate decode_gate;  // guarded by its own lock

  alignas(kCacheLineSize) int32_t slot_state QX_GUARDED_BY(TableLock()) = kSlotFree;
  int32_t source_mode QX_GUARDED_BY(TableLock()) = kSourceNone;
  int32_t media_type QX_GUARDED_BY(TableLock()) = kMediaNone;
  int32_t recording_flag QX_GUARDED_BY(TableLock()) = 0;

  std::atomic<float> play_speed{kDefaultPlaySpeed};
  // Speed steps issued to the player library since normal speed
  // (playback/issued_speed_steps.h).
  std::atomic<int32_t> issued_speed_steps{0};
  std::atomic<OvraRecordFileReadyCallback> record_file_ready{nullptr};
  RecordFileEntry record_file;
};

// The draw function and file-end callback serve every port; the audio-in
// callback and the voice flag serve the voice port 99.
struct ProcessValues {
  std::atomic<OvraDrawFun> draw_function{nullptr};
  std::atomic<OvraFileEndCallback> file_end_callback{nullptr};
  std::atomic<OvraAudioInCallback> audio_in_callback{nullptr};
  std::atomic<bool> voice_initialised{false};
};

// The record of slot 0..97; callers range-check first.
PortRecord& PortRecordOf(int32_t port);
// The record of remote slot 0..32; callers range-check first.
RemoteSlotRecord& RemoteSlot(int32_t slot);
ProcessValues& Process();

}  // namespace qx

#endif  // QXPLAYSDK_CORE_PORT_RECORD_H
