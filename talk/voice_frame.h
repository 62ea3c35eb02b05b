// The voice frame: what the caller's audio-in callback receives for captured
// audio. A fixed 8-byte header, the same in every frame and without a length
// field, followed by up to 4096 bytes of captured audio.
#ifndef QXPLAYSDK_TALK_VOICE_FRAME_H
#define QXPLAYSDK_TALK_VOICE_FRAME_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace qx {

inline constexpr std::size_t kVoiceFrameHeaderSize = 8;
inline constexpr std::size_t kVoiceFrameAudioCapacity = 4096;
inline constexpr std::size_t kVoiceFrameBufferSize =
    kVoiceFrameHeaderSize + kVoiceFrameAudioCapacity;

inline constexpr std::array<uint8_t, kVoiceFrameHeaderSize> kVoiceFrameHeader{
    0x00, 0x00, 0x01, 0xF0, 0x0C, 0x02, 0x00, 0x04};

using VoiceFrameBuffer = std::array<uint8_t, kVoiceFrameBufferSize>;

// Builds one frame in `buffer`: zeros throughout, the header, then the audio.
// At most kVoiceFrameAudioCapacity bytes of `audio` are taken, so the buffer
// is never overrun. Returns the frame's length: header plus audio taken.
std::size_t BuildVoiceFrame(VoiceFrameBuffer& buffer, std::span<const uint8_t> audio);

}  // namespace qx

#endif  // QXPLAYSDK_TALK_VOICE_FRAME_H
