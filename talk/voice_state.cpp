#include "talk/voice_state.h"

#include <atomic>

namespace qx {
namespace {

std::atomic<bool> voice_initialised{false};
std::atomic<OvraAudioInCallback> audio_in_callback{nullptr};

}  // namespace

bool IsVoiceInitialised() { return voice_initialised.load(std::memory_order_acquire); }
void SetVoiceInitialised(bool initialised) {
  voice_initialised.store(initialised, std::memory_order_release);
}

OvraAudioInCallback LoadAudioInCallback() {
  return audio_in_callback.load(std::memory_order_acquire);
}
void StoreAudioInCallback(OvraAudioInCallback callback) {
  audio_in_callback.store(callback, std::memory_order_release);
}

void ResetVoiceState() {
  SetVoiceInitialised(false);
  StoreAudioInCallback(nullptr);
}

}  // namespace qx
