#include "talk/voice_frame.h"

#include <algorithm>

namespace qx {

std::size_t BuildVoiceFrame(VoiceFrameBuffer& buffer, std::span<const uint8_t> audio) {
  const std::size_t audio_length = std::min(audio.size(), kVoiceFrameAudioCapacity);
  buffer.fill(0);
  std::copy(kVoiceFrameHeader.begin(), kVoiceFrameHeader.end(), buffer.begin());
  std::copy_n(audio.begin(), audio_length, buffer.begin() + kVoiceFrameHeaderSize);
  return kVoiceFrameHeaderSize + audio_length;
}

}  // namespace qx
