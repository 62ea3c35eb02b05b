#include "talk/capture_trampoline.h"

#include <algorithm>
#include <cstddef>
#include <span>

#include "core/port_table.h"
#include "talk/voice_frame.h"
#include "talk/voice_state.h"

namespace qx {

void QX_BACKEND_CALL CaptureTrampoline(const void* block, uint32_t length, uintptr_t user) {
  // One read per block: every frame of the block goes to the same function,
  // even when the caller registers another one meanwhile.
  const OvraAudioInCallback callback = LoadAudioInCallback();
  if (callback == nullptr) {
    return;
  }
  std::span<const uint8_t> audio;
  if (block != nullptr) {
    audio = std::span<const uint8_t>(static_cast<const uint8_t*>(block), length);
  }
  // Returns into the player library, which knows nothing of C++ exceptions:
  // whatever the caller's function throws ends here, and the rest of the
  // block is not delivered.
  try {
    // On this thread's stack, so that a frame can always be built, and reused
    // for every frame of the block: the caller's view of a frame ends when its
    // callback returns.
    VoiceFrameBuffer buffer;
    std::size_t offset = 0;
    do {
      const std::size_t taken = std::min(audio.size() - offset, kVoiceFrameAudioCapacity);
      const std::size_t frame_length = BuildVoiceFrame(buffer, audio.subspan(offset, taken));
      callback(kVoicePort, buffer.data(), static_cast<int32_t>(frame_length), user);
      offset += taken;
    } while (offset < audio.size());
  } catch (...) {
  }
}

}  // namespace qx
