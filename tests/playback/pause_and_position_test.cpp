// Ovra_Pause, Ovra_SetPlayPos and Ovra_GetPlayPos.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/playback/open_ports.h"
#include "tests/support/library_test.h"

namespace {

using PauseAndPosition = qxtest::LibraryTest;

// The float that dividing by 100 in double precision rounds to.
double PlayerPositionFor(int32_t hundredths) {
  return static_cast<double>(static_cast<float>(hundredths / 100.0));
}

TEST_F(PauseAndPosition, NonLocalAndFreePortsAreRefusedWithoutABackendCall) {
  for (int32_t port : qxtest::kNonLocalPorts) {
    SCOPED_TRACE(port);
    int32_t position = -100;
    EXPECT_EQ(Ovra_Pause(port, 1), -2);
    EXPECT_EQ(Ovra_SetPlayPos(port, 50), -2);
    EXPECT_EQ(Ovra_GetPlayPos(port, &position), -2);
    EXPECT_EQ(position, -100);
  }
  int32_t position = -100;
  EXPECT_EQ(Ovra_Pause(33, 1), -2);
  EXPECT_EQ(Ovra_SetPlayPos(33, 50), -2);
  EXPECT_EQ(Ovra_GetPlayPos(33, &position), -2);
  EXPECT_EQ(position, -100);
  EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(PauseAndPosition, PlayerVerdictsMapToResults) {
  const int32_t port = qxtest::OpenFilePort();
  struct Case {
    int64_t answer;
    int32_t expected;
  };
  const Case cases[] = {{1, 0}, {0, -3}, {2, -3}, {-1, -3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    fake::QueueResults("player_pause", {c.answer});
    fake::QueueResults("player_set_position", {c.answer});
    EXPECT_EQ(Ovra_Pause(port, 0), c.expected);
    EXPECT_EQ(Ovra_SetPlayPos(port, 10), c.expected);
  }
}

TEST_F(PauseAndPosition, PauseHandsTheFlagThroughUnchanged) {
  const int32_t port = qxtest::OpenStreamPort(1);  // the player serves pauses of every port
  for (uint32_t flag : {0U, 1U, 2U, 0xFFFFFFFFU}) {
    EXPECT_EQ(Ovra_Pause(port, flag), 0);
  }
  const auto calls = fake::Calls("player_pause");
  ASSERT_EQ(calls.size(), 4U);
  const int64_t flags[] = {0, 1, 2, 0xFFFFFFFF};
  for (std::size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].Int(0), port);
    EXPECT_EQ(calls[i].Int(1), flags[i]);
  }
}

TEST_F(PauseAndPosition, SetPlayPosHandsTheHundredthsOnAsAFraction) {
  const int32_t port = qxtest::OpenFilePort();
  struct Case {
    int32_t hundredths;
    float fraction;
  };
  // Out-of-range positions go to the player unchecked.
  const Case cases[] = {{50, 0.5F}, {150, 1.5F}, {-10, -0.1F}, {0, 0.0F}, {100, 1.0F}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hundredths);
    ASSERT_EQ(Ovra_SetPlayPos(port, c.hundredths), 0);
    const auto call = fake::Calls("player_set_position").back();
    EXPECT_EQ(call.Int(0), port);
    EXPECT_EQ(call.Real(1), PlayerPositionFor(c.hundredths));
    EXPECT_EQ(static_cast<float>(call.Real(1)), c.fraction);
  }
}

TEST_F(PauseAndPosition, SetPlayPosRoundsTheDoubleQuotientOnce) {
  const int32_t port = qxtest::OpenFilePort();
  const int32_t extremes[] = {INT32_MIN, INT32_MAX, 16777217, -16777217};
  for (int32_t hundredths : extremes) {
    ASSERT_EQ(Ovra_SetPlayPos(port, hundredths), 0);
  }
  for (int32_t hundredths = -300; hundredths <= 300; ++hundredths) {
    ASSERT_EQ(Ovra_SetPlayPos(port, hundredths), 0);
  }
  const auto calls = fake::Calls("player_set_position");
  ASSERT_EQ(calls.size(), 4U + 601U);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(calls[i].Real(1), PlayerPositionFor(extremes[i])) << extremes[i];
  }
  for (std::size_t i = 0; i < 601; ++i) {
    const int32_t hundredths = -300 + static_cast<int32_t>(i);
    EXPECT_EQ(calls[4 + i].Real(1), PlayerPositionFor(hundredths)) << hundredths;
  }
}

TEST_F(PauseAndPosition, GetPlayPosTruncatesTheHundredfoldAnswerTowardZero) {
  const int32_t port = qxtest::OpenFilePort();
  struct Case {
    float answer;
    int32_t expected;
  };
  // 0.29F lies just below 0.29: 28, where a single-precision product would
  // round up to 29. Negative answers truncate toward zero, not down.
  const Case cases[] = {{0.29F, 28}, {0.5F, 50},  {-0.29F, -28}, {1.5F, 150},
                        {0.0F, 0},   {-0.0F, 0},  {0.999F, 99},  {-0.015F, -1},
                        {0.57F, 56}, {1.0F, 100}, {-1.0F, -100}, {0.009F, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    fake::SetPosition(c.answer);
    int32_t position = -100;
    EXPECT_EQ(Ovra_GetPlayPos(port, &position), 0);
    EXPECT_EQ(position, c.expected);
  }
  for (const auto& call : fake::Calls("player_get_position")) {
    EXPECT_EQ(call.Int(0), port);
  }
}

TEST_F(PauseAndPosition, GetPlayPosGivesADefinedValueForAnswersNoPositionHolds) {
  const int32_t port = qxtest::OpenFilePort();
  struct Case {
    float answer;
    int32_t expected;
  };
  const Case cases[] = {
      {std::numeric_limits<float>::quiet_NaN(), 0},
      {std::numeric_limits<float>::infinity(), INT32_MAX},
      {-std::numeric_limits<float>::infinity(), INT32_MIN},
      {1.0e30F, INT32_MAX},
      {-1.0e30F, INT32_MIN},
      {21474836.0F, 2147483600},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    fake::SetPosition(c.answer);
    int32_t position = -100;
    EXPECT_EQ(Ovra_GetPlayPos(port, &position), 0);
    EXPECT_EQ(position, c.expected);
  }
}

TEST_F(PauseAndPosition, GetPlayPosRefusesANullOutPointerBeforeAnythingElse) {
  const int32_t port = qxtest::OpenFilePort();
  EXPECT_EQ(Ovra_GetPlayPos(port, nullptr), -2);
  EXPECT_EQ(Ovra_GetPlayPos(98, nullptr), -2);
  EXPECT_EQ(fake::CallCount("player_get_position"), 0U);
}

}  // namespace
