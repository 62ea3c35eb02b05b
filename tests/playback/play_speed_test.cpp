// Ovra_SetPlaySpeed and Ovra_GetPlaySpeed through the public interface.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "core/port_table.h"
#include "tests/playback/open_ports.h"
#include "tests/support/library_test.h"

namespace {

using PlaySpeed = qxtest::LibraryTest;

float StoredSpeed(int32_t port) {
  float speed = -100.0F;
  EXPECT_EQ(Ovra_GetPlaySpeed(port, &speed), 0);
  return speed;
}

void ExpectOnlyCallsOf(const char* op, std::size_t count, int32_t port) {
  const auto calls = fake::Calls();
  EXPECT_EQ(calls.size(), count);
  for (const auto& call : calls) {
    EXPECT_EQ(call.name, op);
    ASSERT_EQ(call.args.size(), 1U);
    EXPECT_EQ(call.Int(0), port);
  }
}

TEST_F(PlaySpeed, NamedSpeedsMakeTheirSteps) {
  struct Case {
    float speed;
    const char* op;
    std::size_t steps;
  };
  const Case cases[] = {
      {0.2F, "player_slower", 2},        {1.0F / 3.0F, "player_slower", 1},
      {1.0F / 9.0F, "player_slower", 3}, {16.0F, "player_faster", 4},
      {8.0F, "player_faster", 3},        {10.5F, "player_faster", 5},
      {0.5F, "player_slower", 1},        {0.0625F, "player_slower", 4},
      {1.5F, "player_faster", 0},  // between two steps: kept, nothing called
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.speed);
    qxtest::ResetLibrary();
    const int32_t port = qxtest::OpenFilePort();
    fake::Reset();
    EXPECT_EQ(Ovra_SetPlaySpeed(port, c.speed), 0);
    ExpectOnlyCallsOf(c.op, c.steps, port);
    EXPECT_EQ(StoredSpeed(port), c.speed);
  }
}

TEST_F(PlaySpeed, SpeedsOutOfRangeAreRefusedAndKeepTheStoredSpeed) {
  const int32_t port = qxtest::OpenFilePort();
  ASSERT_EQ(Ovra_SetPlaySpeed(port, 2.0F), 0);
  fake::Reset();
  const float refused[] = {16.5F,
                           std::nextafter(16.0F, 17.0F),
                           0.06F,
                           0.0F,
                           -2.0F,
                           std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity()};
  for (float speed : refused) {
    SCOPED_TRACE(speed);
    EXPECT_EQ(Ovra_SetPlaySpeed(port, speed), -6);
    EXPECT_EQ(StoredSpeed(port), 2.0F);
  }
  EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(PlaySpeed, NormalSpeedPlaysWithoutAWindowWhateverThePlayerSays) {
  const int32_t port = qxtest::OpenStreamPort(1);  // the player is used all the same
  fake::Reset();
  fake::SetResult("player_play", 0);
  EXPECT_EQ(Ovra_SetPlaySpeed(port, 1.0F), 0);
  const auto calls = fake::Calls();
  ASSERT_EQ(calls.size(), 1U);
  EXPECT_EQ(calls[0].name, "player_play");
  EXPECT_EQ(calls[0].Int(0), port);
  EXPECT_EQ(calls[0].Ptr(1), nullptr);
  EXPECT_EQ(StoredSpeed(port), 1.0F);
}

// A speed is absolute: each call issues only the steps between the steps
// the player already took since it last played at normal speed and the
// requested speed's steps.
TEST_F(PlaySpeed, ASpeedIsReachedFromTheStepsAlreadyTaken) {
  struct Case {
    std::vector<float> speeds;  // set in turn; the calls of the last are checked
    const char* op;
    std::size_t steps;
  };
  const Case cases[] = {
      {{16.0F, 2.0F}, "player_slower", 3},      {{2.0F, 2.0F}, "player_faster", 0},
      {{2.0F, 16.0F}, "player_faster", 3},      {{16.0F, 0.5F}, "player_slower", 5},
      {{0.0625F, 0.25F}, "player_faster", 2},   {{0.0625F, 4.0F}, "player_faster", 6},
      {{16.0F, 1.5F}, "player_slower", 4},  // 1.5 has no step of its own
      {{8.0F, 1.0F, 2.0F}, "player_faster", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.speeds));
    qxtest::ResetLibrary();
    const int32_t port = qxtest::OpenFilePort();
    for (std::size_t i = 0; i + 1 < c.speeds.size(); ++i) {
      ASSERT_EQ(Ovra_SetPlaySpeed(port, c.speeds[i]), 0);
    }
    fake::Reset();
    EXPECT_EQ(Ovra_SetPlaySpeed(port, c.speeds.back()), 0);
    ExpectOnlyCallsOf(c.op, c.steps, port);
    EXPECT_EQ(StoredSpeed(port), c.speeds.back());
  }
}

// Playing, stopping or opening the port returns the player to normal speed,
// so the next speed counts its steps from there.
TEST_F(PlaySpeed, PlayStopAndOpenStartTheStepsAfresh) {
  const std::function<void(int32_t)> restarts[] = {
      [](int32_t port) { ASSERT_EQ(Ovra_Play(port, nullptr), 0); },
      [](int32_t port) { ASSERT_EQ(Ovra_Stop(port), 0); },
      [](int32_t port) {
        ASSERT_EQ(Ovra_CloseFile(port), 0);
        ASSERT_EQ(qxtest::OpenFilePort(), port);
      },
  };
  for (std::size_t i = 0; i < std::size(restarts); ++i) {
    SCOPED_TRACE(i);
    qxtest::ResetLibrary();
    const int32_t port = qxtest::OpenFilePort();
    ASSERT_EQ(Ovra_SetPlaySpeed(port, 16.0F), 0);
    restarts[i](port);
    fake::Reset();
    EXPECT_EQ(Ovra_SetPlaySpeed(port, 2.0F), 0);
    ExpectOnlyCallsOf("player_faster", 1, port);
  }
}

// The steps' answers are not examined: a step the player refused still
// counts as issued, and the result stays 0.
TEST_F(PlaySpeed, StepAnswersChangeNeitherTheStepsIssuedNorTheResult) {
  const int32_t port = qxtest::OpenFilePort();
  fake::Reset();
  fake::QueueResults("player_faster", {1, 0, -1, 2});
  EXPECT_EQ(Ovra_SetPlaySpeed(port, 16.0F), 0);
  EXPECT_EQ(fake::CallCount("player_faster"), 4U);
  fake::Reset();
  fake::QueueResults("player_slower", {0, -1, 2});
  EXPECT_EQ(Ovra_SetPlaySpeed(port, 2.0F), 0);
  ExpectOnlyCallsOf("player_slower", 3, port);
}

TEST_F(PlaySpeed, SetRefusesBadAndFreePortsBeforeLookingAtTheSpeed) {
  for (int32_t port : qxtest::kNonLocalPorts) {
    SCOPED_TRACE(port);
    EXPECT_EQ(Ovra_SetPlaySpeed(port, 2.0F), -2);
    EXPECT_EQ(Ovra_SetPlaySpeed(port, 20.0F), -2);
  }
  EXPECT_EQ(Ovra_SetPlaySpeed(33, 2.0F), -2);
  EXPECT_EQ(Ovra_SetPlaySpeed(33, std::numeric_limits<float>::quiet_NaN()), -2);
  EXPECT_TRUE(fake::Calls().empty());
  EXPECT_EQ(qx::GetPlaySpeed(33), 4.0F);
}

TEST_F(PlaySpeed, GetAnswersFourUntilASpeedIsSetAlsoOnAFreePort) {
  EXPECT_EQ(StoredSpeed(33), 4.0F) << "free port";
  EXPECT_EQ(StoredSpeed(97), 4.0F) << "free port";
  const int32_t port = qxtest::OpenFilePort();
  fake::Reset();
  EXPECT_EQ(StoredSpeed(port), 4.0F) << "never set";
  EXPECT_TRUE(fake::Calls().empty()) << "the speed is the library's own word";
}

TEST_F(PlaySpeed, TheSpeedBelongsToTheNumberAcrossStopCloseAndReopen) {
  const int32_t port = qxtest::OpenFilePort();
  ASSERT_EQ(Ovra_SetPlaySpeed(port, 0.5F), 0);
  ASSERT_EQ(Ovra_Stop(port), 0);
  EXPECT_EQ(StoredSpeed(port), 0.5F);
  ASSERT_EQ(Ovra_CloseFile(port), 0);
  EXPECT_EQ(StoredSpeed(port), 0.5F) << "a free port answers with its last speed";
  ASSERT_EQ(qxtest::OpenStreamPort(0), port);
  EXPECT_EQ(StoredSpeed(port), 0.5F);
  EXPECT_EQ(StoredSpeed(port + 1), 4.0F) << "speeds are per port";
}

TEST_F(PlaySpeed, GetRefusesANullOutPointerAndNonLocalPorts) {
  const int32_t port = qxtest::OpenFilePort();
  EXPECT_EQ(Ovra_GetPlaySpeed(port, nullptr), -2);
  EXPECT_EQ(Ovra_GetPlaySpeed(98, nullptr), -2);
  for (int32_t bad : qxtest::kNonLocalPorts) {
    SCOPED_TRACE(bad);
    float speed = -100.0F;
    EXPECT_EQ(Ovra_GetPlaySpeed(bad, &speed), -2);
    EXPECT_EQ(speed, -100.0F) << "nothing written on failure";
  }
}

}  // namespace
