// Opening, feeding and closing the voice channel, and registering the
// audio-in callback.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "talk/capture_trampoline.h"
#include "talk/voice_state.h"
#include "tests/support/library_test.h"
#include "tests/talk/audio_in_recorder.h"

namespace {

using talktest::ReceiveA;
using talktest::ReceiveB;
using talktest::ReceivedFrames;
using Names = std::vector<std::string>;

const Names kOpeningCalls = {"player_open_stream", "player_play_sound", "player_play"};
const Names kClosingCalls = {"player_stop", "player_close_stream", "player_close_audio_capture"};
const uint8_t kAudio[4] = {1, 2, 3, 4};

class VoiceChannel : public qxtest::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    talktest::ClearReceivedFrames();
  }

  static void Open() {
    int32_t port = 0;
    ASSERT_EQ(Ovra_InitAudio(&port), 0);
  }

  // Whether the channel counts as open, seen from outside: far-end audio is
  // accepted only then. Leaves no recorded call behind.
  static bool AcceptsAudio() {
    const int32_t result = Ovra_InputAudioData(99, kAudio, sizeof kAudio);
    EXPECT_TRUE(result == 0 || result == -4) << result;
    fake::Reset();
    return result == 0;
  }
};

Names Prefix(const Names& names, std::size_t count) {
  return Names(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(count));
}

TEST_F(VoiceChannel, InitAudioOpensPlaybackOnTheVoicePort) {
  EXPECT_EQ(Ovra_InitAudio(nullptr), -2);
  EXPECT_TRUE(fake::Calls().empty());
  EXPECT_FALSE(AcceptsAudio());

  int32_t port = -7;
  ASSERT_EQ(Ovra_InitAudio(&port), 0);
  EXPECT_EQ(port, 99);
  ASSERT_EQ(fake::CallNames(), kOpeningCalls);
  const auto calls = fake::Calls();
  EXPECT_EQ(calls[0].Int(0), 99);
  EXPECT_EQ(calls[0].Ptr(1), nullptr);
  EXPECT_EQ(calls[0].Int(2), 0);
  EXPECT_EQ(calls[0].Int(3), 614400);
  EXPECT_EQ(calls[1].Int(0), 99);
  EXPECT_EQ(calls[2].Int(0), 99);
  EXPECT_EQ(calls[2].Ptr(1), nullptr);
  EXPECT_TRUE(AcceptsAudio());

  // Opening again repeats every step.
  ASSERT_EQ(Ovra_InitAudio(&port), 0);
  EXPECT_EQ(fake::CallNames(), kOpeningCalls);
}

TEST_F(VoiceChannel, RefusedOpeningStepEndsInitWithPortWrittenAndStateUnchanged) {
  for (const bool was_open : {false, true}) {
    for (std::size_t step = 0; step < kOpeningCalls.size(); ++step) {
      SCOPED_TRACE(kOpeningCalls[step] + (was_open ? " on an open channel" : ""));
      qxtest::ResetLibrary();
      if (was_open) {
        Open();
        fake::Reset();
      }
      fake::SetResult(kOpeningCalls[step], 0);
      int32_t port = -7;
      EXPECT_EQ(Ovra_InitAudio(&port), -3);
      EXPECT_EQ(port, 99);
      EXPECT_EQ(fake::CallNames(), Prefix(kOpeningCalls, step + 1));
      fake::Reset();
      EXPECT_EQ(AcceptsAudio(), was_open);
    }
  }
}

TEST_F(VoiceChannel, RefusedClosingStepEndsCloseAndLeavesTheChannelOpen) {
  // The capture was never opened here: the close still closes it.
  for (std::size_t step = 0; step < kClosingCalls.size(); ++step) {
    SCOPED_TRACE(kClosingCalls[step]);
    qxtest::ResetLibrary();
    Open();
    fake::Reset();
    fake::SetResult(kClosingCalls[step], 0);
    EXPECT_EQ(Ovra_CloseAudio(99), -3);
    EXPECT_EQ(fake::CallNames(), Prefix(kClosingCalls, step + 1));
    fake::Reset();
    EXPECT_TRUE(AcceptsAudio());
    EXPECT_EQ(Ovra_CloseAudio(99), 0);
    EXPECT_EQ(fake::CallNames(), kClosingCalls);
    fake::Reset();
    EXPECT_FALSE(AcceptsAudio());
  }
}

TEST_F(VoiceChannel, AnyNonzeroAnswerOfTheVoiceOperationsIsSuccess) {
  const Names voice_ops = {"player_open_stream",        "player_play_sound",         "player_play",
                           "player_open_audio_capture", "player_input_audio",        "player_stop",
                           "player_close_stream",       "player_close_audio_capture"};
  for (const int64_t answer : {int64_t{2}, int64_t{-1}, int64_t{INT32_MIN}}) {
    SCOPED_TRACE(answer);
    qxtest::ResetLibrary();
    for (const std::string& op : voice_ops) {
      fake::SetResult(op, answer);
    }
    int32_t port = 0;
    EXPECT_EQ(Ovra_InitAudio(&port), 0);
    EXPECT_EQ(Ovra_SetAudioInCallback(99, ReceiveA, 1), 0);
    EXPECT_EQ(Ovra_InputAudioData(99, kAudio, sizeof kAudio), 0);
    EXPECT_EQ(Ovra_CloseAudio(99), 0);
    EXPECT_EQ(fake::Calls().size(), voice_ops.size());
    EXPECT_FALSE(AcceptsAudio());
  }
}

TEST_F(VoiceChannel, ClosedChannelRefusesEveryExportButInit) {
  // Before the first open, and after a close.
  for (const bool opened_before : {false, true}) {
    SCOPED_TRACE(opened_before ? "after close" : "before init");
    qxtest::ResetLibrary();
    if (opened_before) {
      Open();
      ASSERT_EQ(Ovra_CloseAudio(99), 0);
      fake::Reset();
    }
    EXPECT_EQ(Ovra_SetAudioInCallback(99, ReceiveA, 1), -4);
    EXPECT_EQ(Ovra_InputAudioData(99, kAudio, sizeof kAudio), -4);
    EXPECT_EQ(Ovra_InputAudioData(99, nullptr, 4), -4) << "the channel is checked before the data";
    EXPECT_EQ(Ovra_CloseAudio(99), -4);
    EXPECT_TRUE(fake::Calls().empty());
  }
}

TEST_F(VoiceChannel, NullArgumentsAreParamErrors) {
  // The callback is checked before the channel.
  EXPECT_EQ(Ovra_SetAudioInCallback(99, nullptr, 1), -2);
  Open();
  fake::Reset();
  EXPECT_EQ(Ovra_SetAudioInCallback(99, nullptr, 1), -2);
  EXPECT_EQ(Ovra_InputAudioData(99, nullptr, 4), -2);
  EXPECT_TRUE(fake::Calls().empty());
  EXPECT_EQ(qx::LoadAudioInCallback(), nullptr);
}

TEST_F(VoiceChannel, OtherPortsAreRefusedAndChangeNothing) {
  for (const bool open : {false, true}) {
    for (const int32_t port : {98, 100, -1, 0, 33}) {
      SCOPED_TRACE(std::to_string(port) + (open ? " on an open channel" : ""));
      qxtest::ResetLibrary();
      if (open) {
        Open();
        ASSERT_EQ(Ovra_SetAudioInCallback(99, ReceiveA, 1), 0);
        fake::Reset();
      }
      EXPECT_EQ(Ovra_SetAudioInCallback(port, ReceiveB, 2), -2);
      EXPECT_EQ(Ovra_SetAudioInCallback(port, nullptr, 2), -2);
      EXPECT_EQ(Ovra_InputAudioData(port, kAudio, sizeof kAudio), -2);
      EXPECT_EQ(Ovra_InputAudioData(port, nullptr, 4), -2);
      EXPECT_EQ(Ovra_CloseAudio(port), -2);
      EXPECT_TRUE(fake::Calls().empty());
      EXPECT_EQ(qx::LoadAudioInCallback(), open ? ReceiveA : nullptr);
      EXPECT_EQ(AcceptsAudio(), open);
    }
  }
}

TEST_F(VoiceChannel, InputAudioDataPassesDataAndLengthUnchanged) {
  Open();
  fake::Reset();
  for (const uint32_t length : {0U, 4U, 0xFFFFFFFFU}) {
    EXPECT_EQ(Ovra_InputAudioData(99, kAudio, length), 0);
  }
  fake::SetResult("player_input_audio", 0);
  EXPECT_EQ(Ovra_InputAudioData(99, kAudio, 4), -3);
  const auto calls = fake::Calls("player_input_audio");
  ASSERT_EQ(calls.size(), 4U);
  const int64_t lengths[] = {0, 4, 0xFFFFFFFF, 4};
  for (std::size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].Int(0), 99);
    EXPECT_EQ(calls[i].Ptr(1), kAudio);
    EXPECT_EQ(calls[i].Int(2), lengths[i]);
  }
}

TEST_F(VoiceChannel, SetAudioInCallbackOpensTheCaptureThroughTheTrampoline) {
  Open();
  fake::Reset();
  // The player may deliver the first block before the open returns.
  fake::SetHook("player_open_audio_capture",
                [](const fake::Call&) { EXPECT_TRUE(fake::FireCapture(kAudio, sizeof kAudio)); });
  const uintptr_t user = 0x7654321;
  ASSERT_EQ(Ovra_SetAudioInCallback(99, ReceiveA, user), 0);
  const auto calls = fake::Calls("player_open_audio_capture");
  ASSERT_EQ(calls.size(), 1U);
  EXPECT_EQ(calls[0].Ptr(0), reinterpret_cast<const void*>(&qx::CaptureTrampoline));
  EXPECT_EQ(calls[0].Int(1), 8);
  EXPECT_EQ(calls[0].Int(2), 8000);
  EXPECT_EQ(calls[0].Int(3), 1024);
  EXPECT_EQ(calls[0].Int(4), 0);
  EXPECT_EQ(calls[0].Int(5), static_cast<int64_t>(user));
  const auto frames = ReceivedFrames();
  ASSERT_EQ(frames.size(), 1U);
  EXPECT_EQ(frames[0].receiver, 'A');
  EXPECT_EQ(frames[0].user, user);
}

TEST_F(VoiceChannel, RefusedCaptureOpenKeepsTheCallback) {
  Open();
  fake::SetResult("player_open_audio_capture", 0);
  EXPECT_EQ(Ovra_SetAudioInCallback(99, ReceiveA, 3), -3);
  EXPECT_EQ(qx::LoadAudioInCallback(), ReceiveA);
  qx::CaptureTrampoline(kAudio, sizeof kAudio, 3);
  ASSERT_EQ(ReceivedFrames().size(), 1U);
  EXPECT_EQ(ReceivedFrames()[0].receiver, 'A');
  EXPECT_TRUE(AcceptsAudio());
}

TEST_F(VoiceChannel, CallbackGivenBeforeInitIsNotStored) {
  EXPECT_EQ(Ovra_SetAudioInCallback(99, ReceiveA, 1), -4);
  EXPECT_EQ(fake::CaptureRegistrationNow().callback, nullptr);
  Open();
  // A block reaching the trampoline now has nowhere to go.
  qx::CaptureTrampoline(kAudio, sizeof kAudio, 1);
  EXPECT_TRUE(ReceivedFrames().empty());
  EXPECT_EQ(qx::LoadAudioInCallback(), nullptr);
}

TEST_F(VoiceChannel, ReopenedChannelKeepsTheCallbackButCapturesOnlyAfterANewRegistration) {
  Open();
  ASSERT_EQ(Ovra_SetAudioInCallback(99, ReceiveA, 1), 0);
  ASSERT_EQ(Ovra_CloseAudio(99), 0);
  EXPECT_EQ(fake::CallNames().back(), "player_close_audio_capture");
  fake::Reset();
  // The capture is closed and opening the channel does not open it again,
  // so the player library has nothing to deliver through until the next
  // registration; the callback itself is still in place.
  Open();
  EXPECT_EQ(fake::CallNames(), kOpeningCalls);
  EXPECT_EQ(qx::LoadAudioInCallback(), ReceiveA);

  ASSERT_EQ(Ovra_SetAudioInCallback(99, ReceiveB, 2), 0);
  ASSERT_TRUE(fake::FireCapture(kAudio, sizeof kAudio));
  const auto frames = ReceivedFrames();
  ASSERT_EQ(frames.size(), 1U);
  EXPECT_EQ(frames[0].receiver, 'B');
  EXPECT_EQ(frames[0].user, 2U);
}

}  // namespace
