// Decoded frames as the caller receives them: the frame record and its
// numbering across registrations and stops.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/playback/callback_test_support.h"
#include "tests/support/library_test.h"

namespace {

using qxtest::FrameLog;
using qxtest::OpenStreamPort;
using qxtest::SomeFrame;
using Sequences = std::vector<uint32_t>;

class DecodeFrames : public qxtest::LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    port_ = OpenStreamPort(0);
  }

  int32_t Register(FrameLog& log) {
    return Ovra_SetDecodeCallback(port_, qxtest::LogFrame, log.AsUser());
  }

  void Fire(int count) {
    for (int i = 0; i < count; ++i) {
      fake::FireDecode(port_, SomeFrame());
    }
  }

  int32_t port_ = -1;
};

TEST_F(DecodeFrames, RecordCopiesTheFrameWordsAndNotificationValues) {
  FrameLog log;
  ASSERT_EQ(Register(log), 0);
  const PlayerFrameInfo frame{0x11111111, 0x22222222, 0x33333333, 0x44444444, 0x55555555};
  ASSERT_TRUE(fake::FireDecode(port_, frame, 0x6006, 0x7007, 0x9009));

  auto frames = log.Frames();
  ASSERT_EQ(frames.size(), 1U);
  const DecodeFrameInfo& info = frames[0].info;
  EXPECT_EQ(frames[0].port, port_);
  EXPECT_EQ(frames[0].user, log.AsUser()) << "the user data registered with the player";
  EXPECT_EQ(info.marker, 1U);
  EXPECT_EQ(info.info_c, 0x33333333U);
  EXPECT_EQ(info.info_e, 0x55555555U);
  EXPECT_EQ(info.sequence, 0U);
  EXPECT_EQ(info.info_a, 0x11111111U);
  EXPECT_EQ(info.info_b, 0x22222222U);
  EXPECT_EQ(info.extra_a, 0x6006U);
  EXPECT_EQ(info.extra_b, 0x7007U);
  // Neither the unused frame word nor the sixth value shows up anywhere.
  std::vector<uint32_t> words(sizeof info / 4);
  std::memcpy(words.data(), &info, sizeof info);
  for (uint32_t word : words) {
    EXPECT_NE(word, 0x44444444U);
    EXPECT_NE(word, 0x9009U);
  }
}

TEST_F(DecodeFrames, FramesAreNumberedWithoutGapsPerPort) {
  const int32_t other = OpenStreamPort(1);
  FrameLog log;
  FrameLog other_log;
  ASSERT_EQ(Register(log), 0);
  ASSERT_EQ(Ovra_SetDecodeCallback(other, qxtest::LogFrame, other_log.AsUser()), 0);
  Fire(3);
  fake::FireDecode(other, SomeFrame());
  Fire(2);
  EXPECT_EQ(log.Sequences(), (Sequences{0, 1, 2, 3, 4}));
  EXPECT_EQ(other_log.Sequences(), (Sequences{0}));
}

TEST_F(DecodeFrames, SecondRegistrationContinuesTheNumbering) {
  FrameLog first;
  FrameLog second;
  ASSERT_EQ(Register(first), 0);
  Fire(3);
  ASSERT_EQ(Register(second), 0);
  Fire(2);
  EXPECT_EQ(first.Sequences(), (Sequences{0, 1, 2}));
  EXPECT_EQ(second.Sequences(), (Sequences{3, 4}));
}

TEST_F(DecodeFrames, StopEndsDeliveryAndRestartsTheNumbering) {
  FrameLog before;
  ASSERT_EQ(Register(before), 0);
  Fire(3);
  ASSERT_EQ(Ovra_Stop(port_), 0);
  // The player keeps notifying; nobody receives these and they are not
  // counted.
  Fire(4);
  EXPECT_EQ(before.Sequences(), (Sequences{0, 1, 2}));

  FrameLog after;
  ASSERT_EQ(Register(after), 0);
  Fire(2);
  EXPECT_EQ(after.Sequences(), (Sequences{0, 1}));
  EXPECT_EQ(before.Count(), 3U);
}

TEST_F(DecodeFrames, FramesDroppedAfterARefusedRegistrationAreNotCounted) {
  FrameLog log;
  ASSERT_EQ(Register(log), 0);
  Fire(2);
  fake::QueueResults("player_set_decode_callback", {0});
  ASSERT_EQ(Register(log), -3);
  Fire(3);
  ASSERT_EQ(Register(log), 0);
  Fire(1);
  EXPECT_EQ(log.Sequences(), (Sequences{0, 1, 2}));
}

TEST_F(DecodeFrames, FailedStreamSelectionStillDeliversFrames) {
  fake::SetResult("player_select_decode_stream", 0);
  FrameLog log;
  ASSERT_EQ(Register(log), -3);
  Fire(2);
  EXPECT_EQ(log.Sequences(), (Sequences{0, 1}));
}

TEST_F(DecodeFrames, NotificationsForPortsOutsideTheTableAreIgnored) {
  FrameLog log;
  ASSERT_EQ(Register(log), 0);
  const PlayerDecodeCallback trampoline = fake::DecodeRegistrationOf(port_).callback;
  ASSERT_NE(trampoline, nullptr);
  const PlayerFrameInfo frame = SomeFrame();
  for (int32_t port : {98, 99, 120, -1, INT32_MIN, INT32_MAX, 0, 32}) {
    trampoline(port, 1, 2, &frame, log.AsUser(), 0);
  }
  EXPECT_EQ(log.Count(), 0U);
  Fire(1);
  EXPECT_EQ(log.Sequences(), (Sequences{0}));
}

TEST_F(DecodeFrames, FrameWithoutDescriptionArrivesWithZeroWords) {
  FrameLog log;
  ASSERT_EQ(Register(log), 0);
  fake::DecodeRegistrationOf(port_).callback(port_, 8, 9, nullptr, log.AsUser(), 0);
  auto frames = log.Frames();
  ASSERT_EQ(frames.size(), 1U);
  EXPECT_EQ(frames[0].info.marker, 1U);
  EXPECT_EQ(
      frames[0].info.info_a + frames[0].info.info_b + frames[0].info.info_c + frames[0].info.info_e,
      0U);
  EXPECT_EQ(frames[0].info.extra_a, 8U);
  EXPECT_EQ(frames[0].info.extra_b, 9U);
}

}  // namespace
