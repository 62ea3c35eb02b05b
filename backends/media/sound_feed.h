// A port's sound on its way to the device: packets decoded and queued with
// their time on the pictures' time line, so that pictures can be paced
// against what the device has played.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_SOUND_FEED_H
#define QXPLAYSDK_BACKENDS_MEDIA_SOUND_FEED_H

#include <cstdint>
#include <memory>
#include <utility>

#include "backends/media/audio_output.h"
#include "backends/media/ffmpeg.h"
#include "backends/media/stream_decoder.h"

namespace qx::media {

class SoundFeed {
 public:
  SoundFeed(int32_t port, std::shared_ptr<AudioSource> audio)
      : port_(port), audio_(std::move(audio)) {}

  // Decodes `packet` of the `audio` stream and queues its samples. `origin`
  // is where the pictures' time line starts, in the `video` stream's time
  // base; AV_NOPTS_VALUE when not known yet (the samples are queued
  // untimed).
  void Play(const AVPacket& packet, const AVStream& audio, const AVStream& video, int64_t origin);
  // A jump: what the decoder holds belongs to the old place.
  void Flush();
  // A new input: its sound stream gets a decoder of its own.
  void Reset() {
    decoder_.reset();
    undecodable_ = false;
  }

 private:
  const int32_t port_;
  const std::shared_ptr<AudioSource> audio_;
  std::unique_ptr<StreamDecoder> decoder_;
  bool undecodable_ = false;  // no decoder opens for the stream: said once
  FramePtr samples_ = MakeFrame();
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_SOUND_FEED_H
