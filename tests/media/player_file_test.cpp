// The player library on files: exact frame counts and timestamps, every
// notification, frame-exact jumps and steps, snapshots, position, speed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "backends/media/media_port.h"
#include "backends/player.h"
#include "tests/media/media_test_support.h"
#include "tests/media/notification_log.h"

namespace qxmedia_test {
namespace {

constexpr int32_t kPort = 40;

class PlayerFileTest : public ::testing::Test {
 protected:
  void TearDown() override { player_close_file(kPort); }

  void Open(const std::string& clip) { ASSERT_EQ(player_open_file(kPort, Clip(clip).c_str()), 1); }

  // Plays headless at 16 times normal speed until the end of the file.
  void PlayToEnd() {
    log_.Register(kPort);
    ASSERT_EQ(player_play(kPort, nullptr), 1);
    for (int i = 0; i < 4; ++i) ASSERT_EQ(player_faster(kPort), 1);
    ASSERT_TRUE(WaitFor([this] { return log_.file_ends() > 0; }));
  }

  // Opens, starts paused, and returns once `frame` is shown.
  void OpenPausedAt(const std::string& clip, uint32_t frame) {
    Open(clip);
    log_.Register(kPort);
    ASSERT_EQ(player_play(kPort, nullptr), 1);
    ASSERT_EQ(player_pause(kPort, 1), 1);
    ASSERT_EQ(player_set_current_frame(kPort, frame), 1);
  }

  NotificationLog log_;
};

class FrameCountTest : public PlayerFileTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(FrameCountTest, TotalFramesEqualTheDecodedFramesOfTheFile) {
  Open(GetParam());
  EXPECT_EQ(static_cast<int>(player_get_total_frames(kPort)), ProbeFrameCount(Clip(GetParam())));
}

INSTANTIATE_TEST_SUITE_P(Containers, FrameCountTest,
                         ::testing::Values("mp4", "mkv", "ts", "ps", "h264", "h265", "avi", "cut",
                                           "cut-ts", "cut-mpeg2", "cut-h264", "cut-h265",
                                           "clock-back"));

class PlayThroughTest : public PlayerFileTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PlayThroughTest, EveryFrameIsReportedOnceInOrderWithItsTimestampAndKeyFlag) {
  const std::string clip = GetParam();
  const std::vector<ProbedFrame> expected = ProbeFrames(Clip(clip));
  ASSERT_EQ(expected.size(), 50U);
  Open(clip);
  PlayToEnd();

  const std::vector<DecodedRecord> decoded = log_.Decoded();
  ASSERT_EQ(decoded.size(), expected.size());
  for (size_t i = 0; i < decoded.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    EXPECT_EQ(decoded[i].port, kPort);
    EXPECT_EQ(decoded[i].frame_number, i);
    EXPECT_EQ(decoded[i].width, 160U);
    EXPECT_EQ(decoded[i].height, 120U);
    EXPECT_EQ(decoded[i].picture_size, 160U * 120U * 3U / 2U);
    EXPECT_NEAR(static_cast<double>(decoded[i].timestamp_ms),
                static_cast<double>(expected[i].pts_ms), 1.0);
    EXPECT_EQ(decoded[i].key, expected[i].key ? 1U : 0U);
    EXPECT_EQ(decoded[i].frame_rate, 25U);
    EXPECT_GT(decoded[i].luma_sum, 0U);
  }
  EXPECT_EQ(log_.draws(), 50);
  EXPECT_EQ(log_.file_ends(), 1);
  EXPECT_EQ(player_get_played_frames(kPort), 50U);
  EXPECT_FLOAT_EQ(player_get_position(kPort), 1.0F);
}

INSTANTIATE_TEST_SUITE_P(Containers, PlayThroughTest, ::testing::Values("mp4", "mkv", "ts", "cut"));

class JumpTest : public PlayerFileTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(JumpTest, JumpAndStepLandOnExactlyTheFrameTheSnapshotShows) {
  const std::string clip = GetParam();
  OpenPausedAt(clip, 37);
  // Out of order, across key frames, back and forth.
  for (uint32_t frame : {37U, 5U, 24U, 49U, 0U, 30U}) {
    SCOPED_TRACE("frame " + std::to_string(frame));
    ASSERT_EQ(player_set_current_frame(kPort, frame), 1);
    EXPECT_EQ(player_get_played_frames(kPort), frame + 1);
    ASSERT_FALSE(log_.Decoded().empty());
    EXPECT_EQ(log_.Decoded().back().frame_number, frame);
  }
  ASSERT_EQ(player_step_back(kPort), 1);     // 29: decoded again from the key frame at 24
  ASSERT_EQ(player_step_back(kPort), 1);     // 28
  ASSERT_EQ(player_step_forward(kPort), 1);  // 29
  EXPECT_EQ(player_get_played_frames(kPort), 30U);

  const std::string snapshot = TempPath(clip + "-29.bmp");
  ASSERT_EQ(player_capture_picture(kPort, snapshot.c_str()), 1);
  const RgbPicture taken = DecodeImage(snapshot);
  // The neighbours differ only where the test picture moves; still the
  // frame itself is clearly closer.
  const double same = Psnr(taken, ReferenceFrame(Clip(clip), 29));
  EXPECT_GT(same, 28.0);
  EXPECT_GT(same, Psnr(taken, ReferenceFrame(Clip(clip), 28)) + 6.0);
  EXPECT_GT(same, Psnr(taken, ReferenceFrame(Clip(clip), 30)) + 6.0);
}

INSTANTIATE_TEST_SUITE_P(Containers, JumpTest,
                         ::testing::Values("mp4", "mkv", "ts", "ps", "h264", "h265", "avi", "cut",
                                           "cut-ts", "cut-mpeg2", "cut-h264", "cut-h265",
                                           "clock-back"));

// A file whose display matrix turns it (as phones and some cameras store
// video) is shown, snapshotted and handed to decode notifications upright,
// as the ffmpeg tool shows it.
class RotatedFileTest : public PlayerFileTest, public ::testing::WithParamInterface<int> {};

TEST_P(RotatedFileTest, PicturesComeOutUprightAsFfmpegShowsThem) {
  const int rotate = GetParam();
  const std::string path = TempPath("rotated-" + std::to_string(rotate) + ".mp4");
  RunCommand("ffmpeg -nostdin -hide_banner -loglevel error -y -i '" + Clip("mp4") +
             "' -c copy -metadata:s:v:0 rotate=" + std::to_string(rotate) + " '" + path + "'");
  ASSERT_EQ(player_open_file(kPort, path.c_str()), 1);
  log_.Register(kPort);
  ASSERT_EQ(player_play(kPort, nullptr), 1);
  ASSERT_EQ(player_pause(kPort, 1), 1);
  ASSERT_EQ(player_set_current_frame(kPort, 29), 1);

  const bool sideways = rotate % 180 != 0;
  ASSERT_FALSE(log_.Decoded().empty());
  const DecodedRecord shown = log_.Decoded().back();
  EXPECT_EQ(shown.width, sideways ? 120U : 160U);
  EXPECT_EQ(shown.height, sideways ? 160U : 120U);
  EXPECT_EQ(shown.picture_size, 160U * 120U * 3U / 2U);

  const std::string snapshot = TempPath("rotated-" + std::to_string(rotate) + ".bmp");
  ASSERT_EQ(player_capture_picture(kPort, snapshot.c_str()), 1);
  const RgbPicture upright = ReferenceFrame(path, 29);
  ASSERT_EQ(upright.width, sideways ? 120 : 160);
  EXPECT_GT(Psnr(DecodeImage(snapshot), upright), 28.0);
}

INSTANTIATE_TEST_SUITE_P(Turns, RotatedFileTest, ::testing::Values(90, 180, 270));

TEST_F(PlayerFileTest, JumpPastTheLastFrameAndStepsAtTheEdgesAreRefused) {
  OpenPausedAt("mp4", 0);
  EXPECT_EQ(player_set_current_frame(kPort, 50), 0);
  EXPECT_EQ(player_step_back(kPort), 0);  // frame 0 has no predecessor
  EXPECT_EQ(player_set_current_frame(kPort, 49), 1);
  EXPECT_EQ(player_step_forward(kPort), 0);  // nothing after the last frame
  EXPECT_EQ(log_.file_ends(), 1);
  EXPECT_EQ(player_set_position(kPort, 1.5F), 0);
  EXPECT_EQ(player_set_position(kPort, -0.1F), 0);
}

TEST_F(PlayerFileTest, PositionIsTheShownFrameAsAFractionOfTheFile) {
  OpenPausedAt("mp4", 0);
  ASSERT_EQ(player_set_position(kPort, 0.5F), 1);
  EXPECT_EQ(player_get_played_frames(kPort), 26U);  // frame 25
  EXPECT_FLOAT_EQ(player_get_position(kPort), 0.5F);
  ASSERT_EQ(player_set_position(kPort, 1.0F), 1);
  EXPECT_EQ(log_.Decoded().back().frame_number, 49U);
}

TEST_F(PlayerFileTest, JpegSnapshotShowsTheFrameAndNeedsAKnownExtension) {
  OpenPausedAt("ts", 12);
  const std::string jpeg = TempPath("frame12.JPG");
  ASSERT_EQ(player_capture_picture(kPort, jpeg.c_str()), 1);
  const RgbPicture taken = DecodeImage(jpeg);
  EXPECT_GT(Psnr(taken, ReferenceFrame(Clip("ts"), 12)), 26.0);
  EXPECT_GT(Psnr(taken, ReferenceFrame(Clip("ts"), 12)),
            Psnr(taken, ReferenceFrame(Clip("ts"), 13)) + 4.0);
  EXPECT_FALSE(std::filesystem::exists(jpeg + ".part"));

  const std::string unknown = TempPath("frame12.gif");
  EXPECT_EQ(player_capture_picture(kPort, unknown.c_str()), 0);
  EXPECT_FALSE(std::filesystem::exists(unknown));
  EXPECT_EQ(player_capture_picture(kPort, TempPath("no-such-dir/x.bmp").c_str()), 0);
}

TEST_F(PlayerFileTest, SnapshotBeforeAnyPictureIsRefused) {
  Open("mp4");
  EXPECT_EQ(player_capture_picture(kPort, TempPath("none.bmp").c_str()), 0);
}

TEST_F(PlayerFileTest, StopEndsNotificationsAndTheNextPlayStartsAtTheBeginning) {
  Open("long");
  log_.decode_delay_ms = 20;  // keeps a notification in flight most of the time
  log_.Register(kPort);
  ASSERT_EQ(player_play(kPort, nullptr), 1);
  for (int i = 0; i < 4; ++i) player_faster(kPort);
  ASSERT_TRUE(WaitFor([this] { return log_.DecodedCount() >= 5; }));
  ASSERT_EQ(player_stop(kPort), 1);
  // At most the notification that had begun before the stop completes.
  const size_t at_stop = log_.DecodedCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_LE(log_.DecodedCount(), at_stop + 1);
  EXPECT_EQ(player_get_played_frames(kPort), 0U);

  const size_t before_restart = log_.DecodedCount();
  log_.decode_delay_ms = 0;
  ASSERT_EQ(player_play(kPort, nullptr), 1);
  ASSERT_TRUE(WaitFor([&] { return log_.DecodedCount() > before_restart; }));
  EXPECT_EQ(log_.Decoded()[before_restart].frame_number, 0U);
}

TEST_F(PlayerFileTest, StepsNeedAPlayingPortAndPauseResumes) {
  Open("mp4");
  EXPECT_EQ(player_step_forward(kPort), 0);
  EXPECT_EQ(player_pause(kPort, 1), 0);
  log_.Register(kPort);
  ASSERT_EQ(player_play(kPort, nullptr), 1);
  ASSERT_EQ(player_pause(kPort, 1), 1);
  ASSERT_EQ(player_step_forward(kPort), 1);
  const size_t shown = log_.DecodedCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(log_.DecodedCount(), shown);  // paused: nothing more
  ASSERT_EQ(player_pause(kPort, 0), 1);
  EXPECT_TRUE(WaitFor([&] { return log_.DecodedCount() > shown; }));
}

TEST_F(PlayerFileTest, SpeedMovesOneLevelPerStepWithinSixteenthToSixteen) {
  Open("mp4");
  ASSERT_EQ(player_play(kPort, nullptr), 1);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(player_faster(kPort), 1);
  EXPECT_EQ(player_faster(kPort), 0);
  ASSERT_EQ(player_play(kPort, nullptr), 1);  // back to normal speed
  for (int i = 0; i < 4; ++i) EXPECT_EQ(player_slower(kPort), 1);
  EXPECT_EQ(player_slower(kPort), 0);
}

// The library issues an absolute speed as the difference to the steps it
// issued before (16 is 4 steps, 14 is 7): steps beyond the fastest level
// count, so 16, 14, then 2 plays at twice normal speed.
TEST(MediaPortSpeedTest, StepsBeyondTheFastestLevelCountTowardsTheNextSpeed) {
  const std::shared_ptr<qx::media::MediaPort> port =
      qx::media::MediaPort::OpenFile(kPort + 1, Clip("mp4"));
  ASSERT_NE(port, nullptr);
  ASSERT_TRUE(port->Play(nullptr));
  for (int i = 0; i < 7; ++i) port->Faster();
  EXPECT_EQ(port->speed_level(), qx::media::kFastestLevel);
  for (int i = 0; i < 6; ++i) port->Slower();
  EXPECT_EQ(port->speed_level(), 1);
  ASSERT_TRUE(port->Play(nullptr));  // normal speed again
  for (int i = 0; i < 9; ++i) port->Slower();
  EXPECT_EQ(port->speed_level(), qx::media::kSlowestLevel);
  for (int i = 0; i < 8; ++i) port->Faster();
  EXPECT_EQ(port->speed_level(), -1);
  port->Close();
}

TEST_F(PlayerFileTest, ColourKeepsValidValuesAndRefusesOthers) {
  Open("mp4");
  int32_t values[4] = {};
  ASSERT_EQ(player_get_colour(kPort, 0, &values[0], &values[1], &values[2], &values[3]), 1);
  EXPECT_EQ(values[0], 64);
  EXPECT_EQ(values[3], 64);
  EXPECT_EQ(player_set_colour(kPort, 0, 0, 128, 10, 100), 1);
  EXPECT_EQ(player_set_colour(kPort, 0, 129, 64, 64, 64), 0);
  EXPECT_EQ(player_set_colour(kPort, 0, 64, -1, 64, 64), 0);
  EXPECT_EQ(player_set_colour(kPort, 1, 64, 64, 64, 64), 0);
  ASSERT_EQ(player_get_colour(kPort, 0, &values[0], &values[1], &values[2], &values[3]), 1);
  EXPECT_EQ(values[0], 0);
  EXPECT_EQ(values[1], 128);
  EXPECT_EQ(values[2], 10);
  EXPECT_EQ(values[3], 100);
}

TEST_F(PlayerFileTest, OpeningSomethingThatIsNoMediaFails) {
  EXPECT_EQ(player_open_file(kPort, TempPath("missing.mp4").c_str()), 0);
  const std::string text = TempPath("text.mp4");
  RunCommand("echo hello > '" + text + "'");
  EXPECT_EQ(player_open_file(kPort, text.c_str()), 0);
  EXPECT_EQ(player_open_file(kPort, nullptr), 0);
  EXPECT_EQ(player_close_file(kPort), 0);
}

}  // namespace
}  // namespace qxmedia_test
