#include "fuzz/call_sequence/library_words.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "core/port_table.h"
#include "qxplaysdk.h"
#include "record/record_files.h"
#include "remote/remote_slots.h"
#include "talk/voice_state.h"

namespace qxfuzz {
namespace {

void Compare(std::string& out, int32_t port, const char* word, int64_t expected, int64_t actual) {
  if (expected != actual) {
    out += "port " + std::to_string(port) + " " + word + ": expected " + std::to_string(expected) +
           ", library " + std::to_string(actual) + "\n";
  }
}

// The play speed as the caller reads it (local ports) or as the table holds
// it (remote slots, which no export lets a caller read).
float LibrarySpeed(int32_t port) {
  float speed = 0.0F;
  if (port < qx::kFirstLocalPort) {
    return qx::GetPlaySpeed(port);
  }
  return Ovra_GetPlaySpeed(port, &speed) == OVRA_OK ? speed : -1.0F;
}

}  // namespace

std::string DifferencesFromLibrary(const Model& model) {
  std::string out;
  for (int32_t port = 0; port < Model::kSlots; ++port) {
    const SlotModel& slot = model.slots[port];
    Compare(out, port, "slot state", slot.taken ? qx::kSlotTaken : qx::kSlotFree,
            qx::GetSlotState(port));
    Compare(out, port, "source mode", slot.source, qx::GetSourceMode(port));
    Compare(out, port, "media type", slot.media, qx::GetMediaType(port));
    Compare(out, port, "recording flag", slot.recording, qx::GetRecordingFlag(port));
    Compare(out, port, "play speed bits", std::bit_cast<uint32_t>(slot.speed),
            std::bit_cast<uint32_t>(LibrarySpeed(port)));
    if (slot.record_name != qx::RecordFileName(port)) {
      out += "port " + std::to_string(port) + " record file name: expected \"" + slot.record_name +
             "\", library \"" + qx::RecordFileName(port) + "\"\n";
    }
    if (qx::IsRemoteSlot(port)) {
      Compare(out, port, "remote kind", slot.kind, qx::RemoteSlot(port).kind);
      Compare(out, port, "remote playback handle", slot.playback, qx::RemoteSlot(port).playback);
    }
  }
  Compare(out, 99, "voice flag", model.voice_open, qx::IsVoiceInitialised());
  return out;
}

}  // namespace qxfuzz
