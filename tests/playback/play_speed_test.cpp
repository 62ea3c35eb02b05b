// Ovra_SetPlaySpeed and Ovra_GetPlaySpeed through the public interface.
#include <gtest/gtest.h>

#include <cmath>
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

TEST_F(PlaySpeed, StepsAddUpAndTheirAnswersAreNotExamined) {
  const int32_t port = qxtest::OpenFilePort();
  fake::Reset();
  fake::QueueResults("player_faster", {0, -1});
  fake::QueueResults("player_slower", {0, 2});
  // No return to normal speed in between: each call steps from where the
  // player already is.
  EXPECT_EQ(Ovra_SetPlaySpeed(port, 2.0F), 0);
  EXPECT_EQ(Ovra_SetPlaySpeed(port, 2.0F), 0);
  EXPECT_EQ(Ovra_SetPlaySpeed(port, 0.5F), 0);
  EXPECT_EQ(Ovra_SetPlaySpeed(port, 0.5F), 0);
  EXPECT_EQ(fake::CallNames(), (std::vector<std::string>{"player_faster", "player_faster",
                                                         "player_slower", "player_slower"}));
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
