// Captured audio reaching the caller as voice frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/support/library_test.h"
#include "tests/talk/audio_in_recorder.h"

namespace {

using talktest::ReceivedFrame;
using talktest::ReceivedFrames;

const std::vector<uint8_t> kHeader = {0x00, 0x00, 0x01, 0xF0, 0x0C, 0x02, 0x00, 0x04};

class VoiceCapture : public qxtest::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    talktest::ClearReceivedFrames();
    int32_t port = 0;
    ASSERT_EQ(Ovra_InitAudio(&port), 0);
  }
};

// A block whose every byte depends on its position and on `seed`, so that
// misplaced, repeated or lost bytes show.
std::vector<uint8_t> Block(std::size_t length, uint8_t seed = 0) {
  std::vector<uint8_t> block(length);
  for (std::size_t i = 0; i < length; ++i) {
    block[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
  }
  return block;
}

// Checks one received frame against the header and `audio`.
void ExpectFrame(const ReceivedFrame& frame, const std::vector<uint8_t>& audio, uintptr_t user) {
  EXPECT_EQ(frame.port, 99);
  EXPECT_EQ(frame.user, user);
  ASSERT_EQ(frame.length, static_cast<int32_t>(audio.size() + 8));
  ASSERT_EQ(frame.bytes.size(), audio.size() + 8);
  EXPECT_TRUE(std::equal(kHeader.begin(), kHeader.end(), frame.bytes.begin()));
  EXPECT_TRUE(std::equal(audio.begin(), audio.end(), frame.bytes.begin() + 8));
}

TEST_F(VoiceCapture, EachBlockArrivesWholeInFramesOfAtMost4096AudioBytes) {
  struct Case {
    std::size_t block_length;
    std::vector<std::size_t> frame_audio_lengths;
  };
  const Case cases[] = {
      {0, {0}},
      {1, {1}},
      {4095, {4095}},
      {4096, {4096}},
      {4097, {4096, 1}},
      {8192, {4096, 4096}},
      {10000, {4096, 4096, 1808}},
  };
  ASSERT_EQ(Ovra_SetAudioInCallback(99, talktest::ReceiveA, 0xABCDEF), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.block_length);
    talktest::ClearReceivedFrames();
    const std::vector<uint8_t> block = Block(c.block_length, 5);
    ASSERT_TRUE(fake::FireCapture(block.data(), static_cast<uint32_t>(block.size())));
    const auto frames = ReceivedFrames();
    ASSERT_EQ(frames.size(), c.frame_audio_lengths.size());
    std::size_t offset = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
      const std::size_t length = c.frame_audio_lengths[i];
      ExpectFrame(frames[i],
                  std::vector<uint8_t>(block.begin() + offset, block.begin() + offset + length),
                  0xABCDEF);
      offset += length;
    }
  }
}

TEST_F(VoiceCapture, BlockWithoutDataArrivesAsTheHeaderAlone) {
  ASSERT_EQ(Ovra_SetAudioInCallback(99, talktest::ReceiveA, 4), 0);
  ASSERT_TRUE(fake::FireCapture(nullptr, 100));
  ASSERT_TRUE(fake::FireCapture(nullptr, 0));
  const auto frames = ReceivedFrames();
  ASSERT_EQ(frames.size(), 2U);
  ExpectFrame(frames[0], {}, 4);
  ExpectFrame(frames[1], {}, 4);
}

TEST_F(VoiceCapture, CaptureRunsConcurrentlyWithFarEndAudioAndReregistration) {
  constexpr int kBlocks = 200;
  constexpr std::size_t kBlockLength = 1500;
  ASSERT_EQ(Ovra_SetAudioInCallback(99, talktest::ReceiveA, 11), 0);

  std::thread capture([] {
    for (int i = 0; i < kBlocks; ++i) {
      const std::vector<uint8_t> block = Block(kBlockLength, static_cast<uint8_t>(i));
      EXPECT_TRUE(fake::FireCapture(block.data(), static_cast<uint32_t>(block.size())));
    }
  });
  const std::vector<uint8_t> far_end = Block(320);
  for (int i = 0; i < kBlocks; ++i) {
    EXPECT_EQ(Ovra_InputAudioData(99, far_end.data(), static_cast<uint32_t>(far_end.size())), 0);
    if (i % 10 == 0) {
      const bool odd = (i / 10) % 2 == 1;
      EXPECT_EQ(
          Ovra_SetAudioInCallback(99, odd ? talktest::ReceiveA : talktest::ReceiveB, odd ? 11 : 12),
          0);
    }
  }
  capture.join();

  EXPECT_EQ(fake::CallCount("player_input_audio"), static_cast<std::size_t>(kBlocks));
  const auto frames = ReceivedFrames();
  ASSERT_EQ(frames.size(), static_cast<std::size_t>(kBlocks));
  for (int i = 0; i < kBlocks; ++i) {
    SCOPED_TRACE(i);
    // The callback and the user data are separate words and may change
    // between the two reads; each frame still comes whole and in order.
    EXPECT_TRUE(frames[i].user == 11 || frames[i].user == 12) << frames[i].user;
    ExpectFrame(frames[i], Block(kBlockLength, static_cast<uint8_t>(i)), frames[i].user);
  }
}

// A C++ caller's function that throws: the exception must end in the
// trampoline, which returns into the player library.
std::atomic<int> throwing_calls{0};
void OVRA_CALLBACK ThrowingAudioIn(int32_t, const uint8_t*, int32_t, uintptr_t) {
  ++throwing_calls;
  throw std::runtime_error("caller failure");
}

TEST_F(VoiceCapture, AnExceptionFromTheCallerEndsInTheTrampoline) {
  throwing_calls = 0;
  ASSERT_EQ(Ovra_SetAudioInCallback(99, ThrowingAudioIn, 0), 0);
  const std::vector<uint8_t> block = Block(5000);
  EXPECT_NO_THROW(fake::FireCapture(block.data(), static_cast<uint32_t>(block.size())));
  EXPECT_EQ(throwing_calls.load(), 1) << "the rest of the block is not delivered";
  EXPECT_EQ(Ovra_InputAudioData(99, block.data(), 16), 0);
}

}  // namespace
