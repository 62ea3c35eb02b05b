// Voice capture: the default input device read as blocks of a fixed size,
// each handed to a callback on the capture's own thread.
//
// Formats: 8 bits per sample is G.711 mu-law, 16 bits is signed 16-bit
// little-endian PCM; one channel at the given rate. A machine without an
// input device captures silence through SDL's dummy driver;
// SDL_AUDIODRIVER=disk reads SDL_DISKAUDIOFILEIN (raw 16-bit mono samples at
// the capture rate) instead.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_AUDIO_CAPTURE_H
#define QXPLAYSDK_BACKENDS_MEDIA_AUDIO_CAPTURE_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace qx::media {

struct CaptureFormat {
  int bits_per_sample = 8;
  int sample_rate = 8000;
  int block_size = 1024;  // bytes per delivered block
};

class AudioCapture {
 public:
  using BlockHandler = std::function<void(const uint8_t* block, size_t length)>;

  // Opens the device and starts delivering. Null when the format is not
  // supported or no device opens.
  static std::unique_ptr<AudioCapture> Start(const CaptureFormat& format, BlockHandler handler);
  ~AudioCapture();
  AudioCapture(const AudioCapture&) = delete;
  AudioCapture& operator=(const AudioCapture&) = delete;

  // Stops delivering and closes the device. From the capture thread itself
  // (inside the handler) the thread is left to finish on its own.
  void Stop();

 private:
  // What the capture thread uses; shared with it, so that a capture stopped
  // from inside its own handler can still finish its last round.
  struct State {
    CaptureFormat format;
    BlockHandler handler;
    uint32_t device = 0;
    std::atomic<bool> stopping{false};
  };
  AudioCapture() = default;
  static void Run(const std::shared_ptr<State>& state);

  std::shared_ptr<State> state_;
  std::thread thread_;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_AUDIO_CAPTURE_H
