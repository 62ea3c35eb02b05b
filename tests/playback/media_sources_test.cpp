// Opening, closing and feeding local ports.
#include <gtest/gtest.h>

#include <string>

#include "backends/gpp_player.h"
#include "backends/player.h"
#include "core/port_table.h"
#include "tests/support/library_test.h"

namespace {

using MediaSources = qxtest::LibraryTest;

TEST_F(MediaSources, OpenFileRefusesNullArgumentsBeforeTakingAPort) {
  int32_t port = -100;
  EXPECT_EQ(Ovra_OpenFile(&port, nullptr), -2);
  EXPECT_EQ(Ovra_OpenFile(nullptr, "a.mp4"), -2);
  EXPECT_EQ(port, -100);
  EXPECT_TRUE(fake::Calls().empty());
  ASSERT_EQ(Ovra_OpenFile(&port, "a.mp4"), 0);
  EXPECT_EQ(port, 33);
}

TEST_F(MediaSources, OpenFileHandsTheNameToThePlayerAndSetsFileMode) {
  int32_t port = 0;
  ASSERT_EQ(Ovra_OpenFile(&port, "clip.mp4"), 0);
  auto calls = fake::Calls("player_open_file");
  ASSERT_EQ(calls.size(), 1U);
  EXPECT_EQ(calls[0].Int(0), port);
  EXPECT_EQ(calls[0].Text(1), "clip.mp4");
  EXPECT_EQ(qx::GetSourceMode(port), 2);
  EXPECT_EQ(qx::GetMediaType(port), 2) << "a file port gets no media type";
}

TEST_F(MediaSources, RefusedOpensKeepThePortTakenWithItsNumberStored) {
  struct Case {
    const char* op;
    int64_t refusal;
    int32_t media_type;  // -1: open a file
    int32_t expected;
    int32_t expected_media_type;
  };
  const Case cases[] = {
      {"player_open_file", 0, -1, -3, 2},  {"player_open_file", 2, -1, -3, 2},
      {"player_open_stream", 0, 0, -3, 0}, {"player_open_stream", -1, 0, -3, 0},
      {"gpp_open_stream", 1, 1, -5, 1},    {"gpp_open_stream", -1, 1, -5, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.op) + " answering " + std::to_string(c.refusal));
    qxtest::ResetLibrary();
    fake::SetResult(c.op, c.refusal);
    int32_t port = -100;
    const int32_t result = c.media_type < 0
                               ? Ovra_OpenFile(&port, "a")
                               : Ovra_OpenStream(&port, nullptr, 0, 1024, c.media_type);
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(port, 33);
    EXPECT_EQ(qx::GetSlotState(33), 0);
    EXPECT_EQ(qx::GetSourceMode(33), 0);
    EXPECT_EQ(qx::GetMediaType(33), c.expected_media_type);
    int32_t next = 0;
    ASSERT_EQ(Ovra_OpenFile(&next, "b"), c.op == std::string("player_open_file") ? -3 : 0);
    EXPECT_EQ(next, 34);
  }
}

TEST_F(MediaSources, OpenStreamPassesItsArgumentsToTheChosenBackend) {
  const char block[] = "abc";
  int32_t player_port = 0;
  int32_t gpp_port = 0;
  ASSERT_EQ(Ovra_OpenStream(&player_port, block, 3, 4096, 0), 0);
  ASSERT_EQ(Ovra_OpenStream(&gpp_port, block, 3, 8192, 1), 0);

  auto player = fake::Calls("player_open_stream");
  ASSERT_EQ(player.size(), 1U);
  EXPECT_EQ(player[0].Int(0), player_port);
  EXPECT_EQ(player[0].Ptr(1), block);
  EXPECT_EQ(player[0].Int(2), 3);
  EXPECT_EQ(player[0].Int(3), 4096);
  auto gpp = fake::Calls("gpp_open_stream");
  ASSERT_EQ(gpp.size(), 1U);
  EXPECT_EQ(gpp[0].Int(0), gpp_port);
  EXPECT_EQ(gpp[0].Ptr(1), block);
  EXPECT_EQ(gpp[0].Int(2), 8192) << "the 3GPP library gets no block length";

  EXPECT_EQ(qx::GetSourceMode(player_port), 1);
  EXPECT_EQ(qx::GetMediaType(player_port), 0);
  EXPECT_EQ(qx::GetSourceMode(gpp_port), 1);
  EXPECT_EQ(qx::GetMediaType(gpp_port), 1);
}

// A buffer size the backend can never take is the caller's argument error;
// the port stays taken with the backend's media type, like any refused open.
TEST_F(MediaSources, OpenStreamMapsABufferSizeTheBackendCannotTakeToTheArgumentError) {
  struct Case {
    int32_t media_type;
    const char* op;
    int64_t answer;
    int32_t expected;
  };
  const Case cases[] = {
      {0, "player_open_stream", QX_PLAYER_INVALID_ARGUMENT, -2},
      {0, "player_open_stream", 0, -3},
      {1, "gpp_open_stream", QX_GPP_INVALID_ARGUMENT, -2},
      {1, "gpp_open_stream", -1, -5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.op) + " " + std::to_string(c.answer));
    qxtest::ResetLibrary();
    fake::SetResult(c.op, c.answer);
    int32_t port = -100;
    EXPECT_EQ(Ovra_OpenStream(&port, nullptr, 0, 0xFFFFFFFFU, c.media_type), c.expected);
    EXPECT_EQ(port, 33);
    EXPECT_EQ(qx::GetSlotState(33), 0);
    EXPECT_EQ(qx::GetMediaType(33), c.media_type);
    EXPECT_EQ(qx::GetSourceMode(33), 0);
  }
}

TEST_F(MediaSources, OpenStreamWithAnUnknownMediaTypeTakesThePortButCallsNoBackend) {
  for (int32_t media_type : {2, -1, INT32_MAX}) {
    SCOPED_TRACE(media_type);
    qxtest::ResetLibrary();
    int32_t port = -100;
    EXPECT_EQ(Ovra_OpenStream(&port, nullptr, 0, 0, media_type), -2);
    EXPECT_EQ(port, 33);
    EXPECT_TRUE(fake::Calls().empty());
    EXPECT_EQ(qx::GetMediaType(33), 2);
    EXPECT_EQ(Ovra_CloseStream(33), -2) << "media type 2 cannot be closed as a stream";
    EXPECT_EQ(qx::GetSlotState(33), 0);
    EXPECT_EQ(Ovra_CloseFile(33), 0);
    EXPECT_EQ(qx::GetSlotState(33), 1);
  }
}

TEST_F(MediaSources, NoFreeLocalPortGivesMinusOne) {
  int32_t port = 0;
  for (int i = 0; i < 65; ++i) {
    ASSERT_EQ(Ovra_OpenFile(&port, "f"), 0);
  }
  port = -100;
  EXPECT_EQ(Ovra_OpenFile(&port, "f"), -1);
  EXPECT_EQ(Ovra_OpenStream(&port, nullptr, 0, 0, 0), -1);
  EXPECT_EQ(port, -100);
  EXPECT_EQ(fake::CallCount("player_open_stream"), 0U);
}

TEST_F(MediaSources, ClosingReleasesThePortEvenWhenTheBackendRefuses) {
  struct Case {
    int32_t media_type;  // -1: file
    const char* close_op;
    int64_t refusal;
    int32_t expected;
    int32_t source_mode_after;
  };
  const Case cases[] = {
      {-1, "player_close_file", 0, -3, 2},  // a refused file close keeps the mode
      {0, "player_close_stream", 0, -3, 0},
      {1, "gpp_close_stream", 7, -5, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.close_op);
    qxtest::ResetLibrary();
    int32_t port = 0;
    if (c.media_type < 0) {
      ASSERT_EQ(Ovra_OpenFile(&port, "f"), 0);
    } else {
      ASSERT_EQ(Ovra_OpenStream(&port, nullptr, 0, 0, c.media_type), 0);
    }
    fake::SetResult(c.close_op, c.refusal);
    EXPECT_EQ(c.media_type < 0 ? Ovra_CloseFile(port) : Ovra_CloseStream(port), c.expected);
    EXPECT_EQ(qx::GetSlotState(port), 1);
    EXPECT_EQ(qx::GetSourceMode(port), c.source_mode_after);
    EXPECT_EQ(fake::CallCount(c.close_op), 1U);
    EXPECT_EQ(c.media_type < 0 ? Ovra_CloseFile(port) : Ovra_CloseStream(port), -2)
        << "closing twice";
  }
}

TEST_F(MediaSources, CloseAndInputRefuseBadPortsWithoutABackendCall) {
  for (int32_t port : {-1, 0, 32, 33, 97, 98, 99, 100, INT32_MIN, INT32_MAX}) {
    SCOPED_TRACE(port);
    EXPECT_EQ(Ovra_CloseFile(port), -2);
    EXPECT_EQ(Ovra_CloseStream(port), -2);
    EXPECT_EQ(Ovra_InputData(port, "x", 1), -2);
  }
  EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(MediaSources, StaleMediaTypeSurvivesCloseAndServesTheNextFileOnTheNumber) {
  int32_t port = 0;
  ASSERT_EQ(Ovra_OpenStream(&port, nullptr, 0, 0, 1), 0);
  ASSERT_EQ(Ovra_CloseStream(port), 0);
  int32_t file_port = 0;
  ASSERT_EQ(Ovra_OpenFile(&file_port, "f"), 0);
  ASSERT_EQ(file_port, port);
  EXPECT_EQ(qx::GetMediaType(port), 1);
  // Data for the file port therefore goes to the 3GPP play library.
  EXPECT_EQ(Ovra_InputData(port, "x", 1), 0);
  EXPECT_EQ(fake::CallCount("gpp_input_data"), 1U);
}

TEST_F(MediaSources, InputOnAFreshFilePortIsRefused) {
  int32_t port = 0;
  ASSERT_EQ(Ovra_OpenFile(&port, "f"), 0);
  EXPECT_EQ(Ovra_InputData(port, "x", 1), -2);
  EXPECT_EQ(Ovra_CloseStream(port), -2);
  EXPECT_EQ(fake::CallCount("player_input_data") + fake::CallCount("gpp_input_data"), 0U);
}

TEST_F(MediaSources, InputHandsTheBlockOnUncheckedAndMapsTheVerdict) {
  int32_t player_port = 0;
  int32_t gpp_port = 0;
  ASSERT_EQ(Ovra_OpenStream(&player_port, nullptr, 0, 0, 0), 0);
  ASSERT_EQ(Ovra_OpenStream(&gpp_port, nullptr, 0, 0, 1), 0);

  struct Case {
    int32_t port;
    const char* op;
    int64_t answer;
    int32_t expected;
  };
  const Case cases[] = {
      {player_port, "player_input_data", 1, 0},
      {player_port, "player_input_data", 0, -3},
      {player_port, "player_input_data", 2, -3},
      {player_port, "player_input_data", -1, -3},
      {gpp_port, "gpp_input_data", 0, 0},
      {gpp_port, "gpp_input_data", 1, -5},
      {gpp_port, "gpp_input_data", -1, -5},
      // A block larger than the whole buffer: the argument error, not the
      // refusal a client retries.
      {player_port, "player_input_data", QX_PLAYER_INVALID_ARGUMENT, -2},
      {gpp_port, "gpp_input_data", QX_GPP_INVALID_ARGUMENT, -2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.op) + " " + std::to_string(c.answer));
    fake::QueueResults(c.op, {c.answer});
    EXPECT_EQ(Ovra_InputData(c.port, nullptr, 0), c.expected);
    auto calls = fake::Calls(c.op);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().Int(0), c.port);
    EXPECT_EQ(calls.back().Ptr(1), nullptr);
    EXPECT_EQ(calls.back().Int(2), 0);
  }
  EXPECT_EQ(fake::CallCount("conv_input_data"), 0U) << "no recording runs";
}

TEST_F(MediaSources, RecordingThreeGppPortFeedsTheConverterWhateverThePlayLibrarySays) {
  int32_t port = 0;
  ASSERT_EQ(Ovra_OpenStream(&port, nullptr, 0, 0, 1), 0);
  qx::SetRecordingFlag(port, 1);
  const char block[] = "0123";
  fake::QueueResults("gpp_input_data", {5});
  EXPECT_EQ(Ovra_InputData(port, block, 4), -5);
  EXPECT_EQ(fake::CallNames(),
            (std::vector<std::string>{"gpp_open_stream", "gpp_input_data", "conv_input_data"}));
  auto feed = fake::Calls("conv_input_data");
  ASSERT_EQ(feed.size(), 1U);
  EXPECT_EQ(feed[0].Int(0), port);
  EXPECT_EQ(feed[0].Ptr(1), block);
  EXPECT_EQ(feed[0].Int(2), 4);
  // The converter's own answer never changes the result.
  fake::SetResult("conv_input_data", 9);
  EXPECT_EQ(Ovra_InputData(port, block, 4), 0);
}

}  // namespace

namespace {

// A close of the wrong kind keeps its result code but frees the number in
// the backend too, so that the number's next open is not refused there.
TEST_F(MediaSources, AWrongKindOfCloseReleasesWhatTheBackendHolds) {
  struct Case {
    const char* what;
    int32_t media_type;  // -1: open a file
    bool close_file;
    int32_t expected;
    std::vector<std::string> backend_closes;
  };
  const Case cases[] = {
      {"player stream, closed as a file",
       0,
       true,
       -3,
       {"player_close_file", "player_close_stream"}},
      {"3GPP stream, closed as a file", 1, true, -3, {"player_close_file", "gpp_close_stream"}},
      {"file on a number last used by a player stream, closed as a stream",
       -1,
       false,
       -3,
       {"player_close_stream", "player_close_file"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    qxtest::ResetLibrary();
    int32_t port = -1;
    if (c.media_type < 0) {
      // The number's last stream leaves media type 0 behind for the file.
      ASSERT_EQ(Ovra_OpenStream(&port, nullptr, 0, 1024, 0), 0);
      ASSERT_EQ(Ovra_CloseStream(port), 0);
      ASSERT_EQ(Ovra_OpenFile(&port, "a.mp4"), 0);
      fake::SetResult("player_close_stream", 0);
    } else {
      ASSERT_EQ(Ovra_OpenStream(&port, nullptr, 0, 1024, c.media_type), 0);
      fake::SetResult("player_close_file", 0);
    }
    const std::size_t before = fake::CallTotal();
    EXPECT_EQ(c.close_file ? Ovra_CloseFile(port) : Ovra_CloseStream(port), c.expected);
    std::vector<std::string> closes;
    for (const fake::Call& call : fake::CallsSince(before)) {
      if (call.name.find("close") != std::string::npos) closes.push_back(call.name);
    }
    EXPECT_EQ(closes, c.backend_closes);
    EXPECT_EQ(qx::GetSlotState(port), 1) << "the number is free";
  }
}

TEST_F(MediaSources, ARefusedCloseOfTheRightKindIsNotRepeatedAsTheOtherKind) {
  int32_t port = -1;
  ASSERT_EQ(Ovra_OpenFile(&port, "a.mp4"), 0);
  fake::SetResult("player_close_file", 0);
  EXPECT_EQ(Ovra_CloseFile(port), -3);
  EXPECT_EQ(fake::CallCount("player_close_stream"), 0U);
  EXPECT_EQ(fake::CallCount("gpp_close_stream"), 0U);
}

}  // namespace
