// The frame exports: stepping, jumping to a frame and the frame counts.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/port_table.h"
#include "tests/playback/open_ports.h"
#include "tests/support/library_test.h"

namespace {

using FrameStepping = qxtest::LibraryTest;

struct FrameExport {
  const char* name;
  const char* op;  // the player operation it reaches
  std::function<int32_t(int32_t port)> call;
};

// Each export with a valid out pointer where it takes one; the sentinel in
// *written shows whether the out pointer was written.
std::vector<FrameExport> FrameExports(uint32_t* written) {
  return {
      {"Ovra_NextFrame", "player_step_forward", [](int32_t p) { return Ovra_NextFrame(p); }},
      {"Ovra_PreviousFrame", "player_step_back", [](int32_t p) { return Ovra_PreviousFrame(p); }},
      {"Ovra_SetCurrentFrameNum", "player_set_current_frame",
       [](int32_t p) { return Ovra_SetCurrentFrameNum(p, 7); }},
      {"Ovra_GetFileTotalFrames", "player_get_total_frames",
       [written](int32_t p) { return Ovra_GetFileTotalFrames(p, written); }},
      {"Ovra_GetPlayedFrames", "player_get_played_frames",
       [written](int32_t p) { return Ovra_GetPlayedFrames(p, written); }},
  };
}

constexpr uint32_t kUntouched = 0xDEADBEEF;

// Port situations and the result each export gives, in the order of
// FrameExports.
struct Situation {
  const char* description;
  std::function<int32_t()> prepare;  // returns the port to use
  int32_t expected[5];
};

TEST_F(FrameStepping, ChecksRunInEachExportsOwnOrder) {
  const Situation situations[] = {
      {"port 98", [] { return 98; }, {-2, -2, -2, -2, -2}},
      {"remote slot 5", [] { return 5; }, {-2, -2, -2, -2, -2}},
      // The steps test the file mode before the slot state, the others after.
      {"free port, source mode none", [] { return 33; }, {-7, -7, -2, -2, -2}},
      {"free port left in file mode by a refused close",
       [] {
         const int32_t port = qxtest::OpenFilePort();
         fake::SetResult("player_close_file", 0);
         EXPECT_EQ(Ovra_CloseFile(port), -3);
         EXPECT_EQ(qx::GetSourceMode(port), 2);
         return port;
       },
       {-2, -2, -2, -2, -2}},
      {"player stream port", [] { return qxtest::OpenStreamPort(0); }, {-7, -7, -7, -7, -7}},
      {"3GPP stream port", [] { return qxtest::OpenStreamPort(1); }, {-7, -7, -7, -7, -7}},
      {"taken port whose file open failed",
       [] {
         fake::SetResult("player_open_file", 0);
         int32_t port = 0;
         EXPECT_EQ(Ovra_OpenFile(&port, "f"), -3);
         return port;
       },
       {-7, -7, -7, -7, -7}},
      {"file port", [] { return qxtest::OpenFilePort(); }, {0, 0, 0, 0, 0}},
  };
  for (const Situation& s : situations) {
    uint32_t written = kUntouched;
    const auto exports = FrameExports(&written);
    for (std::size_t i = 0; i < exports.size(); ++i) {
      SCOPED_TRACE(std::string(s.description) + ", " + exports[i].name);
      qxtest::ResetLibrary();
      const int32_t port = s.prepare();
      fake::Reset();
      written = kUntouched;
      EXPECT_EQ(exports[i].call(port), s.expected[i]);
      const bool reached = s.expected[i] == 0;
      EXPECT_EQ(fake::CallCount(exports[i].op), reached ? 1U : 0U);
      if (!reached) {
        EXPECT_TRUE(fake::Calls().empty());
        EXPECT_EQ(written, kUntouched) << "nothing written on failure";
      }
    }
  }
}

TEST_F(FrameStepping, CountExportsRefuseANullOutPointerFirst) {
  const int32_t file_port = qxtest::OpenFilePort();
  const int32_t stream_port = qxtest::OpenStreamPort(0);
  for (int32_t port : {file_port, stream_port, 33 + 10, 98}) {
    SCOPED_TRACE(port);
    EXPECT_EQ(Ovra_GetFileTotalFrames(port, nullptr), -2);
    EXPECT_EQ(Ovra_GetPlayedFrames(port, nullptr), -2);
  }
  EXPECT_EQ(fake::CallCount("player_get_total_frames"), 0U);
  EXPECT_EQ(fake::CallCount("player_get_played_frames"), 0U);
}

TEST_F(FrameStepping, StepsAndFrameJumpsMapThePlayerVerdict) {
  const int32_t port = qxtest::OpenFilePort();
  struct Case {
    int64_t answer;
    int32_t expected;
  };
  const Case cases[] = {{1, 0}, {0, -3}, {2, -3}, {-1, -3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    fake::QueueResults("player_step_forward", {c.answer});
    fake::QueueResults("player_step_back", {c.answer});
    fake::QueueResults("player_set_current_frame", {c.answer});
    EXPECT_EQ(Ovra_NextFrame(port), c.expected);
    EXPECT_EQ(Ovra_PreviousFrame(port), c.expected);
    EXPECT_EQ(Ovra_SetCurrentFrameNum(port, 3), c.expected);
  }
  for (const auto& call : fake::Calls()) {
    if (call.name != "player_open_file") {
      EXPECT_EQ(call.Int(0), port) << call.name;
    }
  }
}

TEST_F(FrameStepping, FrameNumberIsHandedThroughUnchanged) {
  const int32_t port = qxtest::OpenFilePort();
  for (uint32_t frame : {0U, 1U, 123456U, 0xFFFFFFFFU}) {
    EXPECT_EQ(Ovra_SetCurrentFrameNum(port, frame), 0);
    EXPECT_EQ(fake::Calls("player_set_current_frame").back().Int(1), static_cast<int64_t>(frame));
  }
}

TEST_F(FrameStepping, CountsAreWrittenUnjudged) {
  const int32_t port = qxtest::OpenFilePort();
  for (int64_t count : {0LL, 1LL, 250000LL, 0xFFFFFFFFLL}) {
    SCOPED_TRACE(count);
    fake::QueueResults("player_get_total_frames", {count});
    fake::QueueResults("player_get_played_frames", {count / 2});
    uint32_t total = kUntouched;
    uint32_t played = kUntouched;
    EXPECT_EQ(Ovra_GetFileTotalFrames(port, &total), 0);
    EXPECT_EQ(Ovra_GetPlayedFrames(port, &played), 0);
    EXPECT_EQ(total, static_cast<uint32_t>(count));
    EXPECT_EQ(played, static_cast<uint32_t>(count / 2));
  }
  EXPECT_EQ(fake::Calls("player_get_total_frames").back().Int(0), port);
  EXPECT_EQ(fake::Calls("player_get_played_frames").back().Int(0), port);
}

TEST_F(FrameStepping, FilePortWithAStaleMediaTypeStillUsesThePlayer) {
  const int32_t stream = qxtest::OpenStreamPort(1);
  ASSERT_EQ(Ovra_CloseStream(stream), 0);
  const int32_t port = qxtest::OpenFilePort();
  ASSERT_EQ(port, stream);
  ASSERT_EQ(qx::GetMediaType(port), 1);
  EXPECT_EQ(Ovra_NextFrame(port), 0);
  EXPECT_EQ(Ovra_PreviousFrame(port), 0);
  EXPECT_EQ(fake::CallCount("player_step_forward"), 1U);
  EXPECT_EQ(fake::CallCount("player_step_back"), 1U);
}

}  // namespace
