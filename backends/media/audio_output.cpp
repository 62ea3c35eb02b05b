#include "backends/media/audio_output.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "backends/media/g711.h"
#include "backends/media/guarded_thread.h"

namespace qx::media {

namespace {

constexpr size_t kMaxQueuedFrames = static_cast<size_t>(kOutputRate) * kMaxQueuedSeconds;
// A source starts (and, after running dry, starts again) only once this much
// is waiting, so that samples arriving in bursts play without gaps.
constexpr size_t kPrimeFrames = static_cast<size_t>(kOutputRate) / 20;

// The one output device and the sources it mixes.
struct OutputDevice {
  Mutex mutex;
  SDL_AudioDeviceID device QX_GUARDED_BY(mutex) = 0;
  std::vector<std::shared_ptr<AudioSource>> sources QX_GUARDED_BY(mutex);
  std::vector<int32_t> mix QX_GUARDED_BY(mutex);
};

OutputDevice& Device() {
  // Never destroyed: SDL's audio thread may still be mixing while the
  // process exits, and ports torn down at exit detach their sources from it.
  static OutputDevice* device = new OutputDevice;
  return *device;
}

void Mix(Uint8* stream, int length) {
  OutputDevice& output = Device();
  const size_t frames = static_cast<size_t>(length) / (sizeof(int16_t) * kOutputChannels);
  MutexLock guard(&output.mutex);
  output.mix.assign(frames * kOutputChannels, 0);
  for (const auto& source : output.sources) {
    if (source->audible()) {
      source->MixInto(output.mix.data(), frames);
    } else {
      source->Clear();
    }
  }
  ClipMix(output.mix.data(), reinterpret_cast<int16_t*>(stream), frames * kOutputChannels);
}

// SDL's audio thread calls it: nothing may leave it. When mixing fails
// (memory exhausted) that period plays silence.
void MixCallback(void* /*userdata*/, Uint8* stream, int length) {
  if (!RunGuarded("sound mixing", log::kNoPort, [&] { Mix(stream, length); })) {
    std::memset(stream, 0, static_cast<size_t>(length));
  }
}

SDL_AudioDeviceID OpenDevice() {
  SDL_AudioSpec wanted{};
  wanted.freq = kOutputRate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = kOutputChannels;
  wanted.samples = 1024;
  wanted.callback = &MixCallback;
  SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
  if (device == 0) {
    // The system driver loaded but has no usable device: play into nothing.
    if (SDL_AudioInit("dummy") != 0) return 0;
    device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
  }
  if (device != 0) SDL_PauseAudioDevice(device, 0);
  return device;
}

}  // namespace

void ClipMix(const int32_t* mix, int16_t* out, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    out[i] = static_cast<int16_t>(std::clamp<int32_t>(mix[i], INT16_MIN, INT16_MAX));
  }
}

bool EnsureAudioSubsystem() {
  static Mutex init_mutex;
  MutexLock guard(&init_mutex);
  if (SDL_GetCurrentAudioDriver() != nullptr) return true;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) return true;
  return SDL_AudioInit("dummy") == 0;
}

bool AttachAudioSource(const std::shared_ptr<AudioSource>& source) {
  if (!EnsureAudioSubsystem()) return false;
  OutputDevice& output = Device();
  SDL_AudioDeviceID to_open = 0;
  {
    MutexLock guard(&output.mutex);
    if (std::find(output.sources.begin(), output.sources.end(), source) != output.sources.end()) {
      return true;
    }
    output.sources.push_back(source);
    if (output.device != 0) return true;
  }
  // Opened outside the lock: SDL may already call the mixer from its thread.
  to_open = OpenDevice();
  MutexLock guard(&output.mutex);
  if (to_open == 0) {
    output.sources.erase(std::remove(output.sources.begin(), output.sources.end(), source),
                         output.sources.end());
    return false;
  }
  if (output.device == 0) {
    output.device = to_open;
  } else {
    SDL_CloseAudioDevice(to_open);
  }
  return true;
}

void DetachAudioSource(const std::shared_ptr<AudioSource>& source) {
  OutputDevice& output = Device();
  SDL_AudioDeviceID to_close = 0;
  {
    MutexLock guard(&output.mutex);
    output.sources.erase(std::remove(output.sources.begin(), output.sources.end(), source),
                         output.sources.end());
    if (output.sources.empty()) std::swap(to_close, output.device);
  }
  // Closing waits for the mixer to return, so it is done without the lock.
  if (to_close != 0) SDL_CloseAudioDevice(to_close);
}

bool AudioSource::Push(const uint8_t* const* data, int samples, AVSampleFormat format,
                       const AVChannelLayout& layout, int rate, int64_t start_us) {
  MutexLock guard(&mutex_);
  return Convert(data, samples, format, layout, rate, start_us);
}

bool AudioSource::PushMuLaw(const uint8_t* data, size_t length) {
  if (length > kMaxMuLawBlock) return false;  // could never be queued
  std::vector<int16_t> linear(length);
  for (size_t i = 0; i < length; ++i) linear[i] = MuLawDecode(data[i]);
  const auto* planes = reinterpret_cast<const uint8_t*>(linear.data());
  AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
  MutexLock guard(&mutex_);
  return Convert(&planes, static_cast<int>(length), AV_SAMPLE_FMT_S16, mono, 8000, kUnknownTime);
}

bool AudioSource::Convert(const uint8_t* const* data, int samples, AVSampleFormat format,
                          const AVChannelLayout& layout, int rate, int64_t start_us) {
  if (samples <= 0) return true;
  if (!resampler_ || format != from_format_ || rate != from_rate_ ||
      av_channel_layout_compare(&layout, &from_layout_) != 0) {
    SwrContext* context = nullptr;
    // Mono stays mono here and is copied to both sides below, so that a
    // voice plays at its own level on each side (a mono-to-stereo mix would
    // take it 3 dB down).
    AVChannelLayout output_layout = AV_CHANNEL_LAYOUT_STEREO;
    if (layout.nb_channels == 1) output_layout = AV_CHANNEL_LAYOUT_MONO;
    AVChannelLayout input_layout{};
    if (av_channel_layout_copy(&input_layout, &layout) < 0) return false;
    const int made = swr_alloc_set_opts2(&context, &output_layout, AV_SAMPLE_FMT_S16, kOutputRate,
                                         &input_layout, format, rate, 0, nullptr);
    av_channel_layout_uninit(&input_layout);
    if (made < 0 || swr_init(context) < 0) {
      swr_free(&context);
      return false;
    }
    resampler_.reset(context);
    from_format_ = format;
    from_rate_ = rate;
    av_channel_layout_uninit(&from_layout_);
    av_channel_layout_copy(&from_layout_, &layout);
  }
  const int room = swr_get_out_samples(resampler_.get(), samples);
  if (room < 0) return false;
  const auto expected = static_cast<size_t>(av_rescale(samples, kOutputRate, rate));
  if (queue_.size() / kOutputChannels + expected > kMaxQueuedFrames) return false;
  std::vector<int16_t> converted(static_cast<size_t>(room) * kOutputChannels);
  auto* out = reinterpret_cast<uint8_t*>(converted.data());
  // What comes out first are the samples the resampler still held from the
  // push before: this push's output starts that much earlier.
  if (start_us != kUnknownTime) start_us -= swr_get_delay(resampler_.get(), 1000000);
  const int made =
      swr_convert(resampler_.get(), &out, room, const_cast<const uint8_t**>(data), samples);
  if (made < 0) return false;
  if (from_layout_.nb_channels == 1) {
    for (int i = 0; i < made; ++i) {
      queue_.push_back(converted[static_cast<size_t>(i)]);
      queue_.push_back(converted[static_cast<size_t>(i)]);
    }
  } else {
    queue_.insert(queue_.end(), converted.begin(),
                  converted.begin() + static_cast<ptrdiff_t>(made) * kOutputChannels);
  }
  if (made > 0) spans_.push_back(Span{start_us, static_cast<size_t>(made)});
  return true;
}

void AudioSource::Clear() {
  MutexLock guard(&mutex_);
  queue_.clear();
  spans_.clear();
  primed_ = false;
  ForgetPlaying();
}

void AudioSource::ForgetPlaying() {
  taken_start_us_ = kUnknownTime;
  taken_frames_ = 0;
}

void AudioSource::ConsumeSpans(size_t frames) {
  while (frames > 0 && !spans_.empty()) {
    Span& front = spans_.front();
    const size_t taken = std::min(frames, front.frames);
    front.frames -= taken;
    if (front.start_us != kUnknownTime) {
      front.start_us += static_cast<int64_t>(taken) * 1000000 / kOutputRate;
    }
    if (front.frames == 0) spans_.pop_front();
    frames -= taken;
  }
}

std::optional<int64_t> AudioSource::PlayingMs(std::chrono::steady_clock::time_point now) const {
  using std::chrono::microseconds;
  MutexLock guard(&mutex_);
  if (taken_start_us_ == kUnknownTime || taken_frames_ == 0) return std::nullopt;
  const auto elapsed = std::chrono::duration_cast<microseconds>(now - taken_at_);
  // A device asks again one request's length after the last; one that has
  // not asked for several is not playing this source any more.
  const microseconds asked_length(static_cast<int64_t>(asked_frames_) * 1000000 / kOutputRate);
  if (elapsed > 4 * asked_length + std::chrono::milliseconds(50)) return std::nullopt;
  const microseconds taken_length(static_cast<int64_t>(taken_frames_) * 1000000 / kOutputRate);
  const microseconds played = std::clamp(elapsed, microseconds(0), taken_length);
  return (taken_start_us_ + played.count()) / 1000;
}

size_t AudioSource::Queued() const {
  MutexLock guard(&mutex_);
  return queue_.size() / kOutputChannels;
}

void AudioSource::MixInto(int32_t* mix, size_t frames) {
  const int64_t volume = volume_.load();
  MutexLock guard(&mutex_);
  if (paused_.load() || (!primed_ && queue_.size() / kOutputChannels < kPrimeFrames)) {
    ForgetPlaying();
    return;
  }
  primed_ = true;
  const size_t count = std::min(frames * kOutputChannels, queue_.size());
  if (count == queue_.size()) primed_ = false;  // ran dry: wait for more
  for (size_t i = 0; i < count; ++i) {
    mix[i] += static_cast<int32_t>(queue_[i] * volume / 65535);
  }
  queue_.erase(queue_.begin(), queue_.begin() + static_cast<ptrdiff_t>(count));
  taken_start_us_ = spans_.empty() ? kUnknownTime : spans_.front().start_us;
  taken_frames_ = count / kOutputChannels;
  asked_frames_ = frames;
  taken_at_ = std::chrono::steady_clock::now();
  ConsumeSpans(taken_frames_);
}

}  // namespace qx::media
