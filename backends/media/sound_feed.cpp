#include "backends/media/sound_feed.h"

#include "core/log.h"

namespace qx::media {

namespace {

// The samples' media time in microseconds from the pictures' origin.
int64_t SoundTimeUs(const AVFrame& samples, const AVStream& audio, const AVStream& video,
                    int64_t origin) {
  const int64_t pts = samples.best_effort_timestamp;
  if (pts == AV_NOPTS_VALUE || origin == AV_NOPTS_VALUE) return AudioSource::kUnknownTime;
  return av_rescale_q(pts, audio.time_base, kMicroseconds) -
         av_rescale_q(origin, video.time_base, kMicroseconds);
}

}  // namespace

void SoundFeed::Play(const AVPacket& packet, const AVStream& audio, const AVStream& video,
                     int64_t origin) {
  if (!decoder_) {
    if (undecodable_) return;
    decoder_ = StreamDecoder::Open(audio, DecoderOptions{1, true});
    if (!decoder_) {
      undecodable_ = true;
      log::Warning("media", port_, "no decoder for the sound ({}): it is not played",
                   avcodec_get_name(audio.codecpar->codec_id));
      return;
    }
  }
  if (decoder_->Send(&packet) < 0) return;
  while (decoder_->Receive(samples_.get()) == 0) {
    audio_->Push(samples_->extended_data, samples_->nb_samples,
                 static_cast<AVSampleFormat>(samples_->format), samples_->ch_layout,
                 samples_->sample_rate, SoundTimeUs(*samples_, audio, video, origin));
    av_frame_unref(samples_.get());
  }
}

void SoundFeed::Flush() {
  if (decoder_) decoder_->Flush();
}

}  // namespace qx::media
