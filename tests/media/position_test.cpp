// Positions in hundredths survive the trip through the library in both
// directions: a frame's position reads as its exact hundredths, and setting
// a position lands on a frame that reads it back.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "backends/media/frame_position.h"
#include "backends/player.h"
#include "qxplaysdk.h"
#include "tests/media/media_test_support.h"

namespace qxmedia_test {
namespace {

using qx::media::FrameAtPosition;
using qx::media::PositionOfFrame;

// Hundredths as the library reads them from the player's float.
int64_t Hundredths(float position) {
  return static_cast<int64_t>(std::trunc(static_cast<double>(position) * 100.0));
}

// Lengths from a few frames to a day of 25 fps video.
constexpr uint32_t kTotals[] = {1, 7, 50, 99, 100, 101, 250, 300, 1001, 90000, 2160000};

TEST(FramePositionTest, EveryFramesPositionReadsAsItsExactHundredths) {
  for (uint32_t total : kTotals) {
    SCOPED_TRACE(total);
    const uint32_t stride = total > 5000 ? 997 : 1;
    for (uint32_t frame = 0; frame < total; frame += stride) {
      const float position = PositionOfFrame(frame, total);
      ASSERT_EQ(Hundredths(position), int64_t{frame} * 100 / total) << "frame " << frame;
      ASSERT_EQ(FrameAtPosition(position, total), frame) << "frame " << frame;
    }
  }
  EXPECT_EQ(Hundredths(PositionOfFrame(249, 300)), 83);  // 0.83F alone reads 82
}

TEST(FramePositionTest, EveryHundredthLandsOnAFrameThatReadsItBack) {
  for (uint32_t total : kTotals) {
    if (total < 100) continue;  // fewer frames than hundredths
    SCOPED_TRACE(total);
    for (int32_t hundredths = 0; hundredths < 100; ++hundredths) {
      // The library hands P as P / 100 rounded once to a float.
      const auto position = static_cast<float>(hundredths / 100.0);
      const uint32_t frame = FrameAtPosition(position, total);
      ASSERT_EQ(Hundredths(PositionOfFrame(frame, total)), hundredths) << "frame " << frame;
      // The first such frame: the one before reads less.
      if (frame > 0) {
        ASSERT_LT(Hundredths(PositionOfFrame(frame - 1, total)), hundredths);
      }
    }
    EXPECT_EQ(FrameAtPosition(1.0F, total), total - 1);
  }
}

// Through the library with the real player on a 300-frame file.
TEST(PositionRoundTripTest, SetPlayPosThenGetPlayPosGivesTheSameHundredths) {
  const std::string clip = TempPath("three-hundred.mp4");
  RunCommand(
      "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi "
      "-i testsrc2=size=160x120:rate=25 -frames:v 300 -c:v libx264 -preset veryfast "
      "-g 25 -pix_fmt yuv420p '" +
      clip + "'");
  int32_t port = -1;
  ASSERT_EQ(Ovra_OpenFile(&port, clip.c_str()), OVRA_OK);
  ASSERT_EQ(Ovra_Play(port, nullptr), OVRA_OK);
  ASSERT_EQ(Ovra_Pause(port, 1), OVRA_OK);
  for (int32_t hundredths : {0, 1, 3, 7, 13, 17, 29, 33, 41, 50, 57, 66, 67, 71, 83, 89, 97, 99}) {
    SCOPED_TRACE(hundredths);
    ASSERT_EQ(Ovra_SetPlayPos(port, hundredths), OVRA_OK);
    int32_t read = -1;
    ASSERT_EQ(Ovra_GetPlayPos(port, &read), OVRA_OK);
    EXPECT_EQ(read, hundredths);
    uint32_t played = 0;
    ASSERT_EQ(Ovra_GetPlayedFrames(port, &played), OVRA_OK);
    EXPECT_EQ(played - 1, static_cast<uint32_t>((hundredths * 300 + 99) / 100)) << "first frame";
  }
  ASSERT_EQ(Ovra_SetCurrentFrameNum(port, 249), OVRA_OK);
  int32_t read = -1;
  ASSERT_EQ(Ovra_GetPlayPos(port, &read), OVRA_OK);
  EXPECT_EQ(read, 83);
  EXPECT_EQ(Ovra_Stop(port), OVRA_OK);
  EXPECT_EQ(Ovra_CloseFile(port), OVRA_OK);
}

}  // namespace
}  // namespace qxmedia_test
