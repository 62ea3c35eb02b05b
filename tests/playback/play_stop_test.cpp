// Ovra_Play and Ovra_Stop on local ports: which backend, what they answer,
// and what a stop does to the port's decode callback.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/port_table.h"
#include "tests/playback/callback_test_support.h"
#include "tests/support/library_test.h"

namespace {

using qxtest::FrameLog;
using qxtest::OpenFilePort;
using qxtest::OpenStreamPort;
using Names = std::vector<std::string>;

using PlayStop = qxtest::LibraryTest;

int window_stand_in = 0;
void* const kWindow = &window_stand_in;

// Opens a port served by the player (-1: a file; 0: a player stream) or by
// the 3GPP play library (1).
int32_t OpenPort(int32_t kind) { return kind < 0 ? OpenFilePort() : OpenStreamPort(kind); }

TEST_F(PlayStop, PlayChoosesTheBackendByMediaType) {
  for (int32_t kind : {-1, 0, 1}) {
    SCOPED_TRACE(kind);
    qxtest::ResetLibrary();
    const int32_t port = OpenPort(kind);
    ASSERT_EQ(Ovra_RegisterDrawFun(port, nullptr, 55), 0);
    fake::Reset();

    ASSERT_EQ(Ovra_Play(port, kWindow), 0);
    if (kind == 1) {
      EXPECT_EQ(fake::CallNames(), (Names{"gpp_play"}));
      EXPECT_EQ(fake::DrawRegistrationOf(port).callback, nullptr);
    } else {
      EXPECT_EQ(fake::CallNames(), (Names{"player_set_draw_callback", "player_play"}));
      auto draw = fake::Calls("player_set_draw_callback")[0];
      EXPECT_EQ(draw.Int(0), port);
      EXPECT_NE(draw.Ptr(1), nullptr);
      EXPECT_EQ(draw.Int(2), 0) << "play registers with user data 0, whatever was given before";
    }
    auto play = fake::Calls()[fake::Calls().size() - 1];
    EXPECT_EQ(play.Int(0), port);
    EXPECT_EQ(play.Ptr(1), kWindow);
  }
}

// Only the player library opens files: a file port plays and stops there
// even on a number whose previous owner was a 3GPP stream.
TEST_F(PlayStop, AFilePortPlaysAndStopsThroughThePlayerWhateverTheNumberHeldBefore) {
  for (int32_t previous_media_type : {2, 0, 1}) {
    SCOPED_TRACE(previous_media_type);
    qxtest::ResetLibrary();
    if (previous_media_type != 2) {
      ASSERT_EQ(Ovra_CloseStream(OpenStreamPort(previous_media_type)), 0);
    }
    const int32_t port = OpenFilePort();
    fake::Reset();
    EXPECT_EQ(Ovra_Play(port, kWindow), 0);
    EXPECT_EQ(Ovra_Stop(port), 0);
    EXPECT_EQ(fake::CallNames(), (Names{"player_set_draw_callback", "player_play", "player_stop"}));
  }
}

TEST_F(PlayStop, PlayRegistersTheSameDrawTrampolineAsTheDrawExport) {
  const int32_t port = OpenFilePort();
  ASSERT_EQ(Ovra_RegisterDrawFun(port, nullptr, 3), 0);
  const PlayerDrawCallback registered = fake::DrawRegistrationOf(port).callback;
  ASSERT_EQ(Ovra_Play(port, nullptr), 0);
  EXPECT_EQ(fake::DrawRegistrationOf(port).callback, registered);
  EXPECT_EQ(fake::DrawRegistrationOf(port).user, 0U);
  EXPECT_EQ(fake::Calls("player_play")[0].Ptr(1), nullptr);
}

TEST_F(PlayStop, PlayAndStopMapTheBackendAnswers) {
  struct Case {
    int32_t kind;
    const char* op;
    int64_t answer;
    int32_t expected;
  };
  const Case cases[] = {
      {0, "player_play", 1, 0},   {0, "player_play", 0, -3},  {0, "player_play", 2, -3},
      {0, "player_play", -1, -3}, {-1, "player_play", 0, -3}, {1, "gpp_play", 0, 0},
      {1, "gpp_play", 1, -5},     {1, "gpp_play", -1, -5},    {0, "player_stop", 1, 0},
      {0, "player_stop", 0, -3},  {0, "player_stop", 2, -3},  {0, "player_stop", -1, -3},
      {-1, "player_stop", 2, -3}, {1, "gpp_stop", 0, 0},      {1, "gpp_stop", 1, -5},
      {1, "gpp_stop", -1, -5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.op) + " " + std::to_string(c.kind) + " answering " +
                 std::to_string(c.answer));
    qxtest::ResetLibrary();
    const int32_t port = OpenPort(c.kind);
    fake::SetResult(c.op, c.answer);
    const bool play = std::string(c.op).ends_with("play");
    EXPECT_EQ(play ? Ovra_Play(port, kWindow) : Ovra_Stop(port), c.expected);
    EXPECT_EQ(fake::CallCount(c.op), 1U);
  }
}

TEST_F(PlayStop, PortsOutsideTheTableAreRefusedWithoutBackendCalls) {
  for (int32_t port : {98, -1, 100, 99, INT32_MIN, INT32_MAX}) {
    SCOPED_TRACE(port);
    EXPECT_EQ(Ovra_Play(port, kWindow), -2);
    EXPECT_EQ(Ovra_Stop(port), -2);
  }
  EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(PlayStop, PlayOnAFreeLocalPortStillAsksTheBackend) {
  fake::SetResult("player_play", 0);
  EXPECT_EQ(Ovra_Play(50, kWindow), -3);
  EXPECT_EQ(fake::CallNames(), (Names{"player_set_draw_callback", "player_play"}));

  // A number last used by a 3GPP stream keeps its media type once closed.
  const int32_t port = OpenStreamPort(1);
  ASSERT_EQ(Ovra_CloseStream(port), 0);
  fake::Reset();
  EXPECT_EQ(Ovra_Play(port, kWindow), 0);
  EXPECT_EQ(fake::CallNames(), (Names{"gpp_play"}));
}

TEST_F(PlayStop, RemoteSlotsNeverReachTheLocalBackends) {
  EXPECT_EQ(Ovra_Stop(0), -2) << "a free remote slot";
  EXPECT_EQ(Ovra_Stop(32), -2);
  Ovra_Play(0, kWindow);
  Ovra_Play(32, kWindow);
  for (const std::string& name : fake::CallNames()) {
    EXPECT_FALSE(name.starts_with("player_") || name.starts_with("gpp_")) << name;
  }
}

TEST_F(PlayStop, StopOnAFreePortLeavesTheDecodeCallbackInPlace) {
  const int32_t port = OpenStreamPort(0);
  FrameLog log;
  ASSERT_EQ(Ovra_SetDecodeCallback(port, qxtest::LogFrame, log.AsUser()), 0);
  fake::FireDecode(port, qxtest::SomeFrame());
  ASSERT_EQ(Ovra_CloseStream(port), 0);

  EXPECT_EQ(Ovra_Stop(port), -2);
  EXPECT_EQ(fake::CallCount("player_stop"), 0U);
  fake::FireDecode(port, qxtest::SomeFrame());
  EXPECT_EQ(log.Sequences(), (std::vector<uint32_t>{0, 1}))
      << "closing and a refused stop keep both the callback and the numbering";
}

TEST_F(PlayStop, StopClearsTheDecodeCallbackBeforeAskingTheBackend) {
  for (int32_t kind : {-1, 0, 1}) {
    for (bool backend_refuses : {false, true}) {
      SCOPED_TRACE(std::to_string(kind) + (backend_refuses ? " refused" : " accepted"));
      qxtest::ResetLibrary();
      const int32_t port = OpenPort(kind);
      FrameLog log;
      ASSERT_EQ(Ovra_SetDecodeCallback(port, qxtest::LogFrame, log.AsUser()), 0);
      const char* stop = kind == 1 ? "gpp_stop" : "player_stop";
      fake::SetResult(stop, kind == 1 ? (backend_refuses ? 1 : 0) : (backend_refuses ? 0 : 1));
      // A frame the player delivers from inside its stop reaches nobody.
      fake::SetHook(stop,
                    [port](const fake::Call&) { fake::FireDecode(port, qxtest::SomeFrame()); });

      EXPECT_EQ(Ovra_Stop(port), backend_refuses ? (kind == 1 ? -5 : -3) : 0);
      EXPECT_EQ(fake::CallCount(stop), 1U);
      fake::FireDecode(port, qxtest::SomeFrame());
      EXPECT_EQ(log.Count(), 0U);
    }
  }
}

TEST_F(PlayStop, StopChangesNoOtherWordOfThePort) {
  for (int32_t kind : {-1, 0, 1}) {
    SCOPED_TRACE(kind);
    qxtest::ResetLibrary();
    const int32_t port = OpenPort(kind);
    qx::SetRecordingFlag(port, 1);
    qx::SetPlaySpeed(port, 2.5F);
    const int32_t slot_state = qx::GetSlotState(port);
    const int32_t source_mode = qx::GetSourceMode(port);
    const int32_t media_type = qx::GetMediaType(port);

    ASSERT_EQ(Ovra_Stop(port), 0);
    EXPECT_EQ(qx::GetSlotState(port), slot_state);
    EXPECT_EQ(qx::GetSourceMode(port), source_mode);
    EXPECT_EQ(qx::GetMediaType(port), media_type);
    EXPECT_EQ(qx::GetRecordingFlag(port), 1);
    EXPECT_EQ(qx::GetPlaySpeed(port), 2.5F);
    EXPECT_EQ(Ovra_Play(port, kWindow), 0) << "the port stays open";
  }
}

}  // namespace
