// The sound mixer on its own: sources add up, the volume scales each
// source, the sum saturates at the 16-bit limits, and a source plays only
// once enough is waiting.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "backends/media/audio_output.h"

namespace qxmedia_test {
namespace {

using qx::media::AudioSource;
using qx::media::kOutputChannels;
using qx::media::kOutputRate;

// Queues `frames` output frames of a constant mono level, at the output rate
// (so no resampling blurs the level).
void PushLevel(AudioSource& source, int16_t level, size_t frames) {
  std::vector<int16_t> samples(frames, level);
  const auto* plane = reinterpret_cast<const uint8_t*>(samples.data());
  AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
  ASSERT_TRUE(source.Push(&plane, static_cast<int>(frames), AV_SAMPLE_FMT_S16, mono, kOutputRate));
}

constexpr size_t kEnough = static_cast<size_t>(kOutputRate) / 10;  // above the priming amount
constexpr size_t kMixFrames = 256;

// The mix of the frames in the middle of a block, away from the
// resampler's edges.
int32_t MixedLevel(std::vector<AudioSource*> sources) {
  std::vector<int32_t> mix(kMixFrames * kOutputChannels, 0);
  for (AudioSource* source : sources) source->MixInto(mix.data(), kMixFrames);
  return mix[kMixFrames];  // a left sample mid-block
}

struct MixCase {
  const char* name;
  int16_t first_level;
  uint16_t first_volume;
  int16_t second_level;
  uint16_t second_volume;
  int32_t expected;  // the mixed level, before clipping
};

class SoundMixer : public ::testing::TestWithParam<MixCase> {};

TEST_P(SoundMixer, SourcesAddUpAtTheirVolumes) {
  const MixCase& c = GetParam();
  AudioSource first;
  AudioSource second;
  PushLevel(first, c.first_level, kEnough);
  PushLevel(second, c.second_level, kEnough);
  first.SetVolume(c.first_volume);
  second.SetVolume(c.second_volume);
  EXPECT_NEAR(MixedLevel({&first, &second}), c.expected, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SoundMixer,
    ::testing::Values(MixCase{"FullVolumeAddsUp", 1000, 65535, 2000, 65535, 3000},
                      MixCase{"HalfVolumeHalves", 8000, 32768, 0, 65535, 4000},
                      MixCase{"MutedSourceAddsNothing", 8000, 0, -3000, 65535, -3000},
                      MixCase{"OppositeLevelsCancel", 5000, 65535, -5000, 65535, 0},
                      MixCase{"SumBeyondSixteenBits", 30000, 65535, 30000, 65535, 60000}),
    [](const ::testing::TestParamInfo<MixCase>& case_info) { return case_info.param.name; });

TEST(SoundMixerTest, TheSumSaturatesAtTheSixteenBitLimits) {
  const std::vector<int32_t> mix{60000, -60000, 32767, -32768, 32768, -32769, 123, 0};
  std::vector<int16_t> out(mix.size());
  qx::media::ClipMix(mix.data(), out.data(), mix.size());
  EXPECT_EQ(out, (std::vector<int16_t>{32767, -32768, 32767, -32768, 32767, -32768, 123, 0}));
}

TEST(SoundMixerTest, ASourceWaitsUntilEnoughIsQueuedThenPlaysWhatItHas) {
  AudioSource source;
  PushLevel(source, 1000, 100);  // far below the priming amount
  EXPECT_EQ(MixedLevel({&source}), 0);
  EXPECT_EQ(source.Queued(), 100U) << "nothing was taken while priming";
  PushLevel(source, 1000, kEnough);
  EXPECT_NEAR(MixedLevel({&source}), 1000, 2);
  EXPECT_EQ(source.Queued(), 100 + kEnough - kMixFrames);
}

TEST(SoundMixerTest, MoreThanTwoSecondsWaitingIsRefusedAndClearEmpties) {
  AudioSource source;
  PushLevel(source, 1, static_cast<size_t>(kOutputRate));
  PushLevel(source, 1, static_cast<size_t>(kOutputRate));
  std::vector<int16_t> more(1000, 1);
  const auto* plane = reinterpret_cast<const uint8_t*>(more.data());
  AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
  EXPECT_FALSE(source.Push(&plane, 1000, AV_SAMPLE_FMT_S16, mono, kOutputRate));
  source.Clear();
  EXPECT_EQ(source.Queued(), 0U);
}

}  // namespace
}  // namespace qxmedia_test
