#include "backends/media/audio_capture.h"

#include <SDL.h>

#include <chrono>
#include <vector>

#include "backends/media/audio_output.h"
#include "backends/media/g711.h"
#include "backends/media/guarded_thread.h"

namespace qx::media {

std::unique_ptr<AudioCapture> AudioCapture::Start(const CaptureFormat& format,
                                                  BlockHandler handler) {
  if ((format.bits_per_sample != 8 && format.bits_per_sample != 16) || format.sample_rate < 1000 ||
      format.sample_rate > 192000 || format.block_size <= 0 || format.block_size > 65536 ||
      (format.bits_per_sample == 16 && format.block_size % 2 != 0) || !handler) {
    return nullptr;
  }
  if (!EnsureAudioSubsystem()) return nullptr;
  std::unique_ptr<AudioCapture> capture(new AudioCapture());
  auto state = std::make_shared<State>();
  state->format = format;
  state->handler = std::move(handler);
  SDL_AudioSpec wanted{};
  wanted.freq = format.sample_rate;
  wanted.format = AUDIO_S16LSB;
  wanted.channels = 1;
  wanted.samples = 256;
  state->device = SDL_OpenAudioDevice(nullptr, 1, &wanted, nullptr, 0);
  if (state->device == 0) return nullptr;
  SDL_PauseAudioDevice(state->device, 0);
  capture->state_ = state;
  capture->thread_ = std::thread([state] {
    // A failed capture delivers no more blocks; the device is let go here,
    // the caller's close still ends the capture as usual.
    if (!RunGuarded("voice capture thread", log::kNoPort, [&] { Run(state); })) {
      SDL_CloseAudioDevice(state->device);
    }
  });
  return capture;
}

AudioCapture::~AudioCapture() { Stop(); }

void AudioCapture::Stop() {
  if (state_) state_->stopping.store(true);
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

void AudioCapture::Run(const std::shared_ptr<State>& state) {
  const CaptureFormat& format = state->format;
  const size_t samples_per_block = format.bits_per_sample == 8
                                       ? static_cast<size_t>(format.block_size)
                                       : static_cast<size_t>(format.block_size) / 2;
  std::vector<int16_t> pending;
  std::vector<int16_t> chunk(4096);
  std::vector<uint8_t> block(static_cast<size_t>(format.block_size));
  while (!state->stopping.load()) {
    Uint32 got = SDL_DequeueAudio(state->device, chunk.data(),
                                  static_cast<Uint32>(chunk.size() * sizeof(int16_t)));
    pending.insert(pending.end(), chunk.begin(), chunk.begin() + got / sizeof(int16_t));
    while (pending.size() >= samples_per_block && !state->stopping.load()) {
      if (format.bits_per_sample == 8) {
        for (size_t i = 0; i < samples_per_block; ++i) block[i] = MuLawEncode(pending[i]);
      } else {
        for (size_t i = 0; i < samples_per_block; ++i) {
          auto value = static_cast<uint16_t>(pending[i]);
          block[2 * i] = static_cast<uint8_t>(value & 0xFF);
          block[2 * i + 1] = static_cast<uint8_t>(value >> 8);
        }
      }
      pending.erase(pending.begin(), pending.begin() + static_cast<ptrdiff_t>(samples_per_block));
      state->handler(block.data(), block.size());
    }
    if (got == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  SDL_CloseAudioDevice(state->device);
}

}  // namespace qx::media
