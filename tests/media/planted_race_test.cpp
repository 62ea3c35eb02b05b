// A race planted on purpose, to show that the suppressions in
// sanitizer_suppressions.cpp do not hide a race in the engine when the
// engine runs on a thread of SDL's: the engine's mixer, called from SDL's
// audio callback, adds into a buffer that this test's thread writes at the
// same time without any lock.
//
// Disabled, so that no ordinary run of the suite trips it; under
// ThreadSanitizer ctest runs it in a child process of its own and expects
// the report (tests/media/expect_race_report.sh).
#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "backends/media/audio_output.h"

namespace qxmedia_test {
namespace {

constexpr size_t kMixFrames = 1024;

struct Planted {
  std::shared_ptr<qx::media::AudioSource> source = std::make_shared<qx::media::AudioSource>();
  std::vector<int32_t> mix = std::vector<int32_t>(kMixFrames * qx::media::kOutputChannels);
  std::atomic<int> rounds{0};
};

void MixOnSdlThread(void* user, Uint8* stream, int length) {
  auto* planted = static_cast<Planted*>(user);
  // The engine code under SDL's frames: writes planted->mix unguarded.
  planted->source->MixInto(planted->mix.data(), kMixFrames);
  SDL_memset(stream, 0, static_cast<size_t>(length));
  planted->rounds.fetch_add(1);
}

TEST(PlantedRace, DISABLED_MixerOnSdlsAudioThreadRacesTheCaller) {
  ASSERT_TRUE(qx::media::EnsureAudioSubsystem());
  Planted planted;
  planted.source->SetAudible(true);
  const std::vector<uint8_t> silence(8000, 0xFF);  // one second of mu-law silence
  ASSERT_TRUE(planted.source->PushMuLaw(silence.data(), silence.size()));

  SDL_AudioSpec wanted{};
  wanted.freq = qx::media::kOutputRate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = qx::media::kOutputChannels;
  wanted.samples = kMixFrames;
  wanted.callback = &MixOnSdlThread;
  wanted.userdata = &planted;
  const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
  ASSERT_NE(device, 0U) << SDL_GetError();
  SDL_PauseAudioDevice(device, 0);

  // Writes the same buffer without a lock until the mixer has run a few
  // times (bounded: SDL calls it every ~21 ms).
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (planted.rounds.load() < 5 && std::chrono::steady_clock::now() < until) {
    for (int32_t& sample : planted.mix) sample = 0;
    if (planted.source->Queued() < static_cast<size_t>(qx::media::kOutputRate) / 4) {
      planted.source->PushMuLaw(silence.data(), silence.size());
    }
  }
  SDL_CloseAudioDevice(device);
  EXPECT_GE(planted.rounds.load(), 5);
}

}  // namespace
}  // namespace qxmedia_test
