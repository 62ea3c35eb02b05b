// Sound output: one device for the whole process, opened while any port has
// a sound source, mixing the sources of all ports.
//
// The device plays 48 kHz 16-bit stereo. Each source holds converted samples
// waiting to be played, at most two seconds of them, and carries its port's
// volume (0..65535, 65535 = unchanged) and whether its sound is on.
//
// The device is SDL's default output. A machine without a sound device gets
// SDL's "dummy" driver, which consumes the samples in real time and plays
// nothing; SDL_AUDIODRIVER=disk writes what is played to the file named by
// SDL_DISKAUDIOFILE instead.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_AUDIO_OUTPUT_H
#define QXPLAYSDK_BACKENDS_MEDIA_AUDIO_OUTPUT_H

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

#include "backends/media/ffmpeg.h"
#include "backends/media/mutex.h"

namespace qx::media {

inline constexpr int kOutputRate = 48000;
inline constexpr int kOutputChannels = 2;
// A source holds at most this much sound waiting to be played: enough to
// ride out bursts from the network, little enough to keep a talk live.
inline constexpr int kMaxQueuedSeconds = 2;
// The largest G.711 block a source can ever take (8000 bytes a second):
// anything longer is refused before a byte of it is read.
inline constexpr size_t kMaxMuLawBlock = size_t{8000} * kMaxQueuedSeconds;

class AudioSource {
 public:
  AudioSource() = default;
  ~AudioSource() { av_channel_layout_uninit(&from_layout_); }
  AudioSource(const AudioSource&) = delete;
  AudioSource& operator=(const AudioSource&) = delete;

  // Converts and queues samples of any format FFmpeg knows; `start_us` is
  // the media time of the first one in microseconds (kUnknownTime when the
  // samples have none). False (and nothing queued) when the queue would
  // hold more than two seconds or the format cannot be converted.
  bool Push(const uint8_t* const* data, int samples, AVSampleFormat format,
            const AVChannelLayout& layout, int rate, int64_t start_us = kUnknownTime);
  // Queues 8 kHz mono G.711 mu-law bytes. False for a block longer than
  // kMaxMuLawBlock, or one that does not fit beside what waits.
  bool PushMuLaw(const uint8_t* data, size_t length);
  void Clear();

  void SetAudible(bool audible) { audible_.store(audible); }
  bool audible() const { return audible_.load(); }
  // A paused source keeps what waits and gives the device nothing until it
  // goes on, where it left off.
  void SetPaused(bool paused) { paused_.store(paused); }
  void SetVolume(uint16_t volume) { volume_.store(volume); }
  uint16_t volume() const { return volume_.load(); }
  // Output frames (one sample per channel) waiting to be played.
  size_t Queued() const;

  // Adds up to `frames` output frames into `mix`, at the source's volume.
  void MixInto(int32_t* mix, size_t frames);

  // The media time (milliseconds) of the sound the device plays at `now`:
  // the time of the samples it last took from this source, advanced by the
  // time since it took them (at most their length). Nothing while the
  // source's sound does not flow: not yet started or run dry, turned off,
  // paused, cleared, samples without times, or a device that stopped asking. The
  // device's own output latency (one request, and a sound server's buffer)
  // is not counted: the sound is heard that much later.
  std::optional<int64_t> PlayingMs(std::chrono::steady_clock::time_point now) const;

  static constexpr int64_t kUnknownTime = INT64_MIN;

 private:
  // Queued frames that came with one push, and the media time of the first.
  struct Span {
    int64_t start_us = kUnknownTime;
    size_t frames = 0;
  };

  bool Convert(const uint8_t* const* data, int samples, AVSampleFormat format,
               const AVChannelLayout& layout, int rate, int64_t start_us) QX_REQUIRES(mutex_);
  // Drops `frames` frames' worth from the front of the spans.
  void ConsumeSpans(size_t frames) QX_REQUIRES(mutex_);
  void ForgetPlaying() QX_REQUIRES(mutex_);

  // Taken by the pushing port thread and by the mixer on SDL's audio thread.
  mutable Mutex mutex_;
  std::deque<int16_t> queue_ QX_GUARDED_BY(mutex_);  // interleaved stereo
  ResampleContextPtr resampler_ QX_GUARDED_BY(mutex_);
  AVSampleFormat from_format_ QX_GUARDED_BY(mutex_) = AV_SAMPLE_FMT_NONE;
  AVChannelLayout from_layout_ QX_GUARDED_BY(mutex_){};
  int from_rate_ QX_GUARDED_BY(mutex_) = 0;
  bool primed_ QX_GUARDED_BY(mutex_) = false;
  std::deque<Span> spans_ QX_GUARDED_BY(mutex_);  // cover queue_ exactly
  // The device's last request that took samples from this source.
  int64_t taken_start_us_ QX_GUARDED_BY(mutex_) = kUnknownTime;
  size_t taken_frames_ QX_GUARDED_BY(mutex_) = 0;
  size_t asked_frames_ QX_GUARDED_BY(mutex_) = 0;
  std::chrono::steady_clock::time_point taken_at_ QX_GUARDED_BY(mutex_);
  std::atomic<bool> audible_{false};
  std::atomic<bool> paused_{false};
  std::atomic<uint16_t> volume_{65535};
};

// The device's last step: the sum of every source's samples, clipped to the
// 16-bit range (a sum beyond it saturates rather than wrapping round).
void ClipMix(const int32_t* mix, int16_t* out, size_t count);

// Registers a source with the device, opening the device for the first one.
// False when no device (not even the dummy one) can be opened.
bool AttachAudioSource(const std::shared_ptr<AudioSource>& source);
// Removes a source; the device is closed with the last one, so a disk
// driver's file is complete once every port has let go of its sound.
void DetachAudioSource(const std::shared_ptr<AudioSource>& source);

// Starts SDL's audio with the system's driver, or with the dummy driver
// when the system has none. False only when even that fails.
bool EnsureAudioSubsystem();

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_AUDIO_OUTPUT_H
