#include "talk/voice_state.h"

#include <atomic>

#include "core/port_record.h"

namespace qx {

bool IsVoiceInitialised() { return Process().voice_initialised.load(std::memory_order_acquire); }
void SetVoiceInitialised(bool initialised) {
  Process().voice_initialised.store(initialised, std::memory_order_release);
}

OvraAudioInCallback LoadAudioInCallback() {
  return Process().audio_in_callback.load(std::memory_order_acquire);
}
void StoreAudioInCallback(OvraAudioInCallback callback) {
  Process().audio_in_callback.store(callback, std::memory_order_release);
}

}  // namespace qx
