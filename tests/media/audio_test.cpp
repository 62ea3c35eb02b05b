// Voice through SDL's disk driver: what the voice port plays lands in a file
// the test reads back, and the capture reads a file the test wrote.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "backends/media/g711.h"
#include "backends/player.h"
#include "tests/media/media_test_support.h"

namespace qxmedia_test {
namespace {

constexpr int32_t kVoicePort = 99;

std::vector<int16_t> Tone(double frequency, int rate, double seconds, double amplitude) {
  std::vector<int16_t> samples(static_cast<size_t>(rate * seconds));
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(amplitude * std::sin(2.0 * M_PI * frequency * i / rate));
  }
  return samples;
}

// The left channel of what the disk driver played (48 kHz stereo), without
// the silence before and after.
std::vector<int16_t> PlayedLeftChannel() {
  const std::vector<uint8_t> raw = ReadBytes(TempPath("played.raw"));
  std::vector<int16_t> left;
  for (size_t i = 0; i + 3 < raw.size(); i += 4) {
    left.push_back(static_cast<int16_t>(raw[i] | (raw[i + 1] << 8)));
  }
  auto loud = [](int16_t sample) { return std::abs(sample) > 200; };
  auto first = std::find_if(left.begin(), left.end(), loud);
  auto last = std::find_if(left.rbegin(), left.rend(), loud).base();
  if (first >= last) return {};
  return std::vector<int16_t>(first, last);
}

// Waits until the disk driver has written `seconds` of output (it writes in
// real time, later when the machine is busy).
void WaitUntilPlayed(double seconds) {
  const auto bytes = static_cast<uintmax_t>(seconds * 48000 * 4);
  EXPECT_TRUE(WaitFor(
      [&] {
        std::error_code error;
        const uintmax_t size = std::filesystem::file_size(TempPath("played.raw"), error);
        return !error && size >= bytes;
      },
      std::chrono::seconds(20)));
}

double Peak(const std::vector<int16_t>& samples) {
  int peak = 0;
  for (int16_t sample : samples) peak = std::max(peak, std::abs(static_cast<int>(sample)));
  return peak;
}

TEST(VoiceTest, MuLawFromTheFarEndIsPlayedOnTheDefaultOutput) {
  ASSERT_EQ(player_open_stream(kVoicePort, nullptr, 0, 614400), 1);
  ASSERT_EQ(player_play_sound(kVoicePort), 1);
  ASSERT_EQ(player_play(kVoicePort, nullptr), 1);
  ASSERT_EQ(player_set_volume(kVoicePort, 32768), 1);
  EXPECT_EQ(player_get_volume(kVoicePort), 32768);

  const std::vector<int16_t> tone = Tone(1000.0, 8000, 1.0, 16000.0);
  std::vector<uint8_t> encoded(tone.size());
  for (size_t i = 0; i < tone.size(); ++i) encoded[i] = qx::media::MuLawEncode(tone[i]);
  for (size_t at = 0; at < encoded.size(); at += 1024) {
    const auto length = static_cast<uint32_t>(std::min<size_t>(1024, encoded.size() - at));
    ASSERT_EQ(player_input_audio(kVoicePort, encoded.data() + at, length), 1);
  }
  // Played in real time: wait for the second of sound to go out.
  WaitUntilPlayed(1.5);
  ASSERT_EQ(player_stop_sound(), 1);  // the device closes and the file is complete
  ASSERT_EQ(player_stop(kVoicePort), 1);
  ASSERT_EQ(player_close_stream(kVoicePort), 1);

  const std::vector<int16_t> played = PlayedLeftChannel();
  EXPECT_NEAR(static_cast<double>(played.size()), 48000.0, 2400.0);
  EXPECT_GT(ToneShare(played, 48000.0, 1000.0), 0.9);
  EXPECT_LT(ToneShare(played, 48000.0, 1500.0), 0.05);
  EXPECT_NEAR(Peak(played), 8000.0, 600.0);  // half volume
}

// Seconds of `samples` (48 kHz) that are loud, in 10 ms windows.
double LoudSeconds(const std::vector<int16_t>& samples) {
  int loud = 0;
  for (size_t at = 0; at + 480 <= samples.size(); at += 480) {
    double energy = 0.0;
    for (size_t i = at; i < at + 480; ++i) energy += static_cast<double>(samples[i]) * samples[i];
    if (std::sqrt(energy / 480.0) > 500.0) ++loud;
  }
  return loud / 100.0;
}

// A quarter period of 1 kHz at 48 kHz: near silence that long inside a tone
// is a pause in it.
constexpr int kPauseSamples = 12;

bool QuietRunAt(const std::vector<int16_t>& samples, size_t at, size_t& quiet_run) {
  quiet_run = std::abs(samples[at]) < 200 ? quiet_run + 1 : 0;
  return quiet_run == kPauseSamples;
}

// Pauses inside the tone (the device ran dry).
int Pauses(const std::vector<int16_t>& samples) {
  int pauses = 0;
  size_t quiet_run = 0;
  for (size_t i = 0; i < samples.size(); ++i) pauses += QuietRunAt(samples, i, quiet_run) ? 1 : 0;
  return pauses;
}

// Frequency from the zero crossings in the loud 10 ms windows. A window
// holding a pause is left out: its missing crossings say nothing of the
// pitch.
double Frequency(const std::vector<int16_t>& samples) {
  int crossings = 0;
  int windows = 0;
  for (size_t at = 0; at + 480 <= samples.size(); at += 480) {
    double energy = 0.0;
    int here = 0;
    size_t quiet_run = 0;
    bool paused = false;
    for (size_t i = at; i < at + 480; ++i) {
      energy += static_cast<double>(samples[i]) * samples[i];
      if (i > 0 && (samples[i - 1] < 0) != (samples[i] < 0)) ++here;
      paused = QuietRunAt(samples, i, quiet_run) || paused;
    }
    if (paused || std::sqrt(energy / 480.0) <= 500.0) continue;
    ++windows;
    crossings += here;
  }
  return windows == 0 ? 0.0 : crossings / 2.0 / (windows * 0.01);
}

TEST(FileSoundTest, AFilesSoundPlaysWhileItsSoundIsOn) {
  // The "ts" clip carries a 1 kHz tone.
  const double seconds =
      std::stod(RunCommand("ffmpeg -v error -i '" + Clip("ts") + "' -map 0:a -f s16le - | wc -c")) /
      2.0 / 48000.0;
  ASSERT_GT(seconds, 1.0);
  constexpr int32_t kFilePort = 41;
  ASSERT_EQ(player_open_file(kFilePort, Clip("ts").c_str()), 1);
  ASSERT_EQ(player_play_sound(kFilePort), 1);
  ASSERT_EQ(player_play(kFilePort, nullptr), 1);
  WaitUntilPlayed(2.5);
  ASSERT_EQ(player_stop_sound(), 1);
  ASSERT_EQ(player_close_file(kFilePort), 1);

  // All of the tone is played, at its pitch and without a break (the
  // container carries the sound up to a second behind the pictures).
  const std::vector<int16_t> played = PlayedLeftChannel();
  EXPECT_NEAR(LoudSeconds(played), seconds, 0.15);
  EXPECT_EQ(Pauses(played), 0);
  EXPECT_NEAR(Frequency(played), 1000.0, 20.0);  // a wrong rate would be 8% or more off
}

TEST(FileSoundTest, SoundIsForOnePortAtATime) {
  constexpr int32_t kFirst = 42;
  constexpr int32_t kSecond = 43;
  ASSERT_EQ(player_open_file(kFirst, Clip("ts").c_str()), 1);
  ASSERT_EQ(player_open_file(kSecond, Clip("mp4").c_str()), 1);
  ASSERT_EQ(player_play_sound(kFirst), 1);
  ASSERT_EQ(player_play_sound(kSecond), 1);  // takes the sound from the first
  ASSERT_EQ(player_play(kFirst, nullptr), 1);
  // Twenty pictures in, the first port has demuxed its sound of that time.
  ASSERT_TRUE(WaitFor([] { return player_get_played_frames(kFirst) >= 20; }));
  ASSERT_EQ(player_stop_sound(), 1);
  EXPECT_EQ(player_play_sound(kFirst + 10), 0);  // not open
  EXPECT_EQ(player_close_file(kFirst), 1);
  EXPECT_EQ(player_close_file(kSecond), 1);
  // The second port has no sound of its own and the first's was off.
  EXPECT_TRUE(PlayedLeftChannel().empty());
}

TEST(VoiceTest, MoreThanTwoSecondsWaitingIsRefused) {
  ASSERT_EQ(player_open_stream(kVoicePort, nullptr, 0, 614400), 1);
  ASSERT_EQ(player_play_sound(kVoicePort), 1);
  ASSERT_EQ(player_play(kVoicePort, nullptr), 1);
  std::vector<uint8_t> block(8000, 0x55);  // one second each
  int accepted = 0;
  for (int i = 0; i < 4; ++i) accepted += player_input_audio(kVoicePort, block.data(), 8000);
  EXPECT_EQ(accepted, 2);
  EXPECT_EQ(player_input_audio(kVoicePort, nullptr, 8), 0);
  EXPECT_EQ(player_input_audio(kVoicePort + 1, block.data(), 8), 0);
  // Blocks the queue could never hold are refused before anything of them
  // is read (the lengths are far beyond the buffer passed), with the sound
  // on or off.
  for (const bool sound_on : {true, false}) {
    SCOPED_TRACE(sound_on);
    if (!sound_on) player_stop_sound();
    for (const uint32_t length : {16001U, 0x80000000U, 0xFFFFFFFFU}) {
      EXPECT_EQ(player_input_audio(kVoicePort, block.data(), length), 0) << length;
    }
  }
  player_stop_sound();
  EXPECT_EQ(player_close_stream(kVoicePort), 1);
}

struct Captured {
  std::mutex mutex;
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> lengths;
  uintptr_t user = 0;
};

void QX_BACKEND_CALL OnCapture(const void* data, uint32_t length, uintptr_t user) {
  auto* captured = reinterpret_cast<Captured*>(user);
  std::lock_guard<std::mutex> guard(captured->mutex);
  const auto* bytes = static_cast<const uint8_t*>(data);
  captured->bytes.insert(captured->bytes.end(), bytes, bytes + length);
  captured->lengths.push_back(length);
  captured->user = user;
}

TEST(VoiceTest, CaptureDeliversMuLawBlocksOfTheRequestedSize) {
  // What the "microphone" hears: 440 Hz, 16-bit mono at 8 kHz.
  const std::vector<int16_t> spoken = Tone(440.0, 8000, 3.0, 12000.0);
  {
    std::ofstream out(TempPath("spoken.raw"), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(spoken.data()),
              static_cast<std::streamsize>(spoken.size() * sizeof(int16_t)));
  }
  Captured captured;
  ASSERT_EQ(player_open_audio_capture(&OnCapture, 8, 8000, 1024, 0,
                                      reinterpret_cast<uintptr_t>(&captured)),
            1);
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard<std::mutex> guard(captured.mutex);
    return captured.lengths.size() >= 8;
  }));
  ASSERT_EQ(player_close_audio_capture(), 1);
  EXPECT_EQ(player_close_audio_capture(), 1);  // nothing open: still fine

  std::lock_guard<std::mutex> guard(captured.mutex);
  for (uint32_t length : captured.lengths) EXPECT_EQ(length, 1024U);
  EXPECT_EQ(captured.user, reinterpret_cast<uintptr_t>(&captured));
  std::vector<int16_t> decoded;
  for (uint8_t code : captured.bytes) decoded.push_back(qx::media::MuLawDecode(code));
  EXPECT_GT(ToneShare(decoded, 8000.0, 440.0), 0.9);
  EXPECT_NEAR(Peak(decoded), 12000.0, 800.0);
}

TEST(VoiceTest, CaptureRefusesFormatsItCannotDeliver) {
  Captured captured;
  const auto user = reinterpret_cast<uintptr_t>(&captured);
  EXPECT_EQ(player_open_audio_capture(&OnCapture, 12, 8000, 1024, 0, user), 0);
  EXPECT_EQ(player_open_audio_capture(&OnCapture, 8, 8000, 0, 0, user), 0);
  EXPECT_EQ(player_open_audio_capture(&OnCapture, 16, 8000, 1023, 0, user), 0);
  EXPECT_EQ(player_open_audio_capture(nullptr, 8, 8000, 1024, 0, user), 0);
}

TEST(G711Test, MuLawRoundTripStaysWithinItsStepSize) {
  for (int value = -32768; value <= 32767; value += 7) {
    const auto sample = static_cast<int16_t>(value);
    const int16_t back = qx::media::MuLawDecode(qx::media::MuLawEncode(sample));
    // Steps grow with the magnitude: 1/16 of the segment, at most 1024.
    const int allowed = std::max(8, std::min(1024, std::abs(value) / 16 + 8));
    ASSERT_LE(std::abs(back - std::clamp(value, -32635, 32635)), allowed) << value;
  }
  EXPECT_EQ(qx::media::MuLawEncode(0), 0xFF);
  EXPECT_EQ(qx::media::MuLawDecode(0xFF), 0);
  EXPECT_EQ(qx::media::MuLawDecode(0x00), -32124);
  EXPECT_EQ(qx::media::MuLawDecode(0x80), 32124);
}

}  // namespace
}  // namespace qxmedia_test
