// The player library on live streams pushed block by block: probing the
// format from the bytes, the bounded buffer, stopping, and recordings that
// stay readable.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "backends/player.h"
#include "tests/media/media_test_support.h"
#include "tests/media/notification_log.h"

namespace qxmedia_test {
namespace {

constexpr int32_t kPort = 50;
constexpr size_t kBlock = 4096;

class PlayerStreamTest : public ::testing::Test {
 protected:
  void TearDown() override { player_close_stream(kPort); }

  // Pushes `bytes` from `offset` in blocks, offering a refused block again
  // until it is taken. Returns the number of refusals.
  static int Feed(const std::vector<uint8_t>& bytes, size_t offset = 0) {
    int refusals = 0;
    for (size_t at = offset; at < bytes.size();) {
      const size_t length = std::min(kBlock, bytes.size() - at);
      if (player_input_data(kPort, bytes.data() + at, static_cast<uint32_t>(length)) == 1) {
        at += length;
      } else {
        ++refusals;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    }
    return refusals;
  }

  NotificationLog log_;
};

class LiveFormatTest : public PlayerStreamTest,
                       public ::testing::WithParamInterface<const char*> {};

TEST_P(LiveFormatTest, TheFormatIsRecognisedFromTheBytesAndEveryPictureDecodes) {
  const std::vector<uint8_t> bytes = ReadBytes(Clip(GetParam()));
  ASSERT_EQ(player_open_stream(kPort, nullptr, 0, 256 * 1024), 1);
  log_.Register(kPort);
  ASSERT_EQ(player_play(kPort, nullptr), 1);
  for (int i = 0; i < 4; ++i) player_faster(kPort);
  Feed(bytes);
  // A live stream has no end: the decoder may hold back its last pictures
  // until more bytes come.
  ASSERT_TRUE(WaitFor([this] { return log_.DecodedCount() >= 46; }));
  // No picture is presented after the stop; one already presented may
  // still be on its way to the log.
  ASSERT_EQ(player_stop(kPort), 1);
  ASSERT_TRUE(WaitFor([this] { return log_.DecodedCount() == player_get_played_frames(kPort); }));
  const std::vector<DecodedRecord> decoded = log_.Decoded();
  EXPECT_LE(decoded.size(), 50U);
  for (size_t i = 0; i < decoded.size(); ++i) {
    EXPECT_EQ(decoded[i].frame_number, i);
    EXPECT_EQ(decoded[i].width, 160U);
    EXPECT_EQ(decoded[i].height, 120U);
    // 25 frames per second: 40 ms apart.
    EXPECT_NEAR(static_cast<double>(decoded[i].timestamp_ms), 40.0 * static_cast<double>(i), 1.0);
  }
  EXPECT_EQ(decoded.front().key, 1U);
  EXPECT_EQ(player_get_played_frames(kPort), decoded.size());
  EXPECT_EQ(player_get_total_frames(kPort), 0U);  // unknown for a live stream
  EXPECT_EQ(player_set_current_frame(kPort, 3), 0);
  EXPECT_EQ(log_.file_ends(), 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, LiveFormatTest, ::testing::Values("ts", "ps", "h264", "h265"));

size_t ProcessThreads() {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                           std::filesystem::directory_iterator()));
}

// A wall of live ports: each costs its own thread and at most one decoding
// worker, whatever the number of cores.
TEST(LiveWallTest, EachLivePortRunsOnAtMostTwoThreads) {
  constexpr int32_t kFirst = 60;
  constexpr int kPorts = 8;
  const std::vector<uint8_t> bytes = ReadBytes(Clip("ts"));
  auto open_and_feed = [&](int32_t port, NotificationLog& log) {
    ASSERT_EQ(player_open_stream(port, nullptr, 0, 1024 * 1024), 1);
    log.Register(port);
    ASSERT_EQ(player_play(port, nullptr), 1);
    ASSERT_EQ(player_input_data(port, bytes.data(), static_cast<uint32_t>(bytes.size())), 1);
  };
  // The process-wide threads (notification, logging) start with the first port.
  {
    NotificationLog warm;
    open_and_feed(kFirst, warm);
    ASSERT_TRUE(WaitFor([&] { return warm.DecodedCount() >= 10; }));
    player_close_stream(kFirst);
  }
  const size_t before = ProcessThreads();
  std::vector<NotificationLog> logs(kPorts);
  for (int i = 0; i < kPorts; ++i) open_and_feed(kFirst + i, logs[static_cast<size_t>(i)]);
  for (const NotificationLog& log : logs)
    ASSERT_TRUE(WaitFor([&] { return log.DecodedCount() >= 10; }));
  const size_t during = ProcessThreads();
  for (int i = 0; i < kPorts; ++i) player_close_stream(kFirst + i);
  EXPECT_LE(during - before, static_cast<size_t>(2 * kPorts))
      << before << " threads before the wall, " << during << " with it";
}

TEST_F(PlayerStreamTest, TheInitialBlockIsTheStreamsBeginning) {
  const std::vector<uint8_t> bytes = ReadBytes(Clip("ts"));
  ASSERT_EQ(player_open_stream(kPort, bytes.data(), 1880, 256 * 1024), 1);
  log_.Register(kPort);
  ASSERT_EQ(player_play(kPort, nullptr), 1);
  for (int i = 0; i < 4; ++i) player_faster(kPort);
  Feed(bytes, 1880);
  EXPECT_TRUE(WaitFor([this] { return log_.DecodedCount() >= 46; }));
}

TEST_F(PlayerStreamTest, AFullBufferRefusesTheBlockWithoutLosingAByte) {
  const std::vector<uint8_t> bytes = ReadBytes(Clip("long"));
  ASSERT_GT(bytes.size(), 200000U);
  ASSERT_EQ(player_open_stream(kPort, nullptr, 0, 32 * 1024), 1);
  log_.Register(kPort);
  ASSERT_EQ(player_play(kPort, nullptr), 1);  // normal speed: 10 s of pictures
  // The first blocks fill the buffer while the pictures are paced.
  int refused_at = -1;
  for (size_t at = 0, index = 0; at < bytes.size() && refused_at < 0; at += kBlock, ++index) {
    if (player_input_data(kPort, bytes.data() + at, kBlock) == 0) {
      refused_at = static_cast<int>(index);
    }
  }
  ASSERT_GT(refused_at, 0);
  EXPECT_LE(static_cast<size_t>(refused_at) * kBlock, 32U * 1024U + 64U * 1024U);
  // Offered again at a faster pace, every byte gets in and every picture is
  // decoded: nothing was dropped on the way.
  for (int i = 0; i < 4; ++i) player_faster(kPort);
  Feed(bytes, static_cast<size_t>(refused_at) * kBlock);
  EXPECT_TRUE(WaitFor([this] { return log_.DecodedCount() >= 246; }, std::chrono::seconds(30)));
  const std::vector<DecodedRecord> decoded = log_.Decoded();
  for (size_t i = 0; i < decoded.size(); ++i) {
    ASSERT_EQ(decoded[i].timestamp_ms, 40U * i) << "picture " << i;
  }
}

TEST_F(PlayerStreamTest, ABlockLargerThanTheBufferIsRefused) {
  ASSERT_EQ(player_open_stream(kPort, nullptr, 0, 1024), 1);
  std::vector<uint8_t> block(2048, 0x47);
  // Never fits: told apart from a full buffer, which answers 0.
  EXPECT_EQ(player_input_data(kPort, block.data(), 2048), QX_PLAYER_INVALID_ARGUMENT);
  EXPECT_EQ(player_input_data(kPort, block.data(), 1024), 1);
  EXPECT_EQ(player_input_data(kPort, block.data(), 0), 1);
  EXPECT_EQ(player_input_data(kPort + 1, block.data(), 16), 0);  // not open
}

TEST_F(PlayerStreamTest, NoNotificationBeginsAfterStopReturned) {
  const std::vector<uint8_t> bytes = ReadBytes(Clip("long"));
  ASSERT_EQ(player_open_stream(kPort, nullptr, 0, 4 * 1024 * 1024), 1);
  log_.decode_delay_ms = 15;
  log_.Register(kPort);
  ASSERT_EQ(player_play(kPort, nullptr), 1);
  for (int i = 0; i < 4; ++i) player_faster(kPort);
  Feed(bytes);
  ASSERT_TRUE(WaitFor([this] { return log_.DecodedCount() >= 10; }));
  ASSERT_EQ(player_stop(kPort), 1);
  const size_t at_stop = log_.DecodedCount();
  const int draws_at_stop = log_.draws();
  // Closing with bytes still waiting ends the port's thread promptly; once
  // it is joined, whatever began after the stop has been counted.
  EXPECT_EQ(player_close_stream(kPort), 1);
  EXPECT_LE(log_.DecodedCount(), at_stop + 1);
  EXPECT_LE(log_.draws(), draws_at_stop + 1);
  EXPECT_EQ(player_close_stream(kPort), 0);
}

TEST_F(PlayerStreamTest, RecordingSwitchesFilesWhilePlayingAndEachFileStandsAlone) {
  const std::vector<uint8_t> bytes = ReadBytes(Clip("long"));
  const size_t half = bytes.size() / 2 / kBlock * kBlock;
  ASSERT_EQ(player_open_stream(kPort, nullptr, 0, 4 * 1024 * 1024), 1);
  log_.Register(kPort);
  ASSERT_EQ(player_play(kPort, nullptr), 1);
  ASSERT_EQ(player_faster(kPort), 1);  // twice normal speed: 250 frames in 5 s
  const std::string first = TempPath("live-1.ts");
  const std::string second = TempPath("live-2.ts");
  ASSERT_EQ(player_start_record(kPort, first.c_str(), 0), 1);
  Feed(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(half)));
  // A recording in progress is readable as it stands.
  ASSERT_TRUE(WaitFor([&] { return ProbeFrameCountIfReadable(first) > 0; }));
  ASSERT_TRUE(WaitFor([this] { return log_.DecodedCount() >= 20; }));
  // Switching files while the pictures play: stop, start anew.
  ASSERT_EQ(player_stop_record(kPort), 1);
  ASSERT_EQ(player_start_record(kPort, second.c_str(), 0), 1);
  Feed(bytes, half);
  ASSERT_TRUE(WaitFor([this] { return log_.DecodedCount() >= 200; }));
  ASSERT_EQ(player_stop_record(kPort), 1);
  EXPECT_EQ(player_stop_record(kPort), 0);

  // Playback went on undisturbed.
  const std::vector<DecodedRecord> decoded = log_.Decoded();
  for (size_t i = 0; i < decoded.size(); ++i) ASSERT_EQ(decoded[i].frame_number, i);
  for (const std::string& file : {first, second}) {
    SCOPED_TRACE(file);
    const std::vector<ProbedFrame> frames = ProbeFrames(file);
    ASSERT_GE(frames.size(), 100U);
    EXPECT_TRUE(frames.front().key);  // each file starts at a key frame
    // Whole pictures 40 ms apart; a cut in decode order may leave out the
    // last B-pictures shown before the final reference picture.
    for (size_t i = 1; i < frames.size(); ++i) {
      EXPECT_EQ(frames[i].pts_ms % 40, 0);
      EXPECT_GT(frames[i].pts_ms, frames[i - 1].pts_ms);
    }
    EXPECT_GT(ProbeDuration(file), 4.0);
    EXPECT_EQ(ProbeVideoEntry(file, "codec_name"), "h264");
  }
  // Every picture pushed is in one of the files, less those before the
  // second file's first key frame (at most one group of 12).
  const int total = ProbeFrameCount(first) + ProbeFrameCount(second);
  EXPECT_LE(total, 250);
  EXPECT_GE(total, 250 - 12);
}

TEST_F(PlayerStreamTest, AStreamIsRecordedWithoutBeingPlayed) {
  const std::vector<uint8_t> bytes = ReadBytes(Clip("ts"));
  ASSERT_EQ(player_open_stream(kPort, nullptr, 0, 1024 * 1024), 1);
  const std::string file = TempPath("unplayed.ts");
  ASSERT_EQ(player_start_record(kPort, file.c_str(), 0), 1);
  Feed(bytes);
  ASSERT_TRUE(WaitFor([&] { return ProbeFrameCountIfReadable(file) >= 40; }));
  ASSERT_EQ(player_stop_record(kPort), 1);
  EXPECT_EQ(log_.DecodedCount(), 0U);
  EXPECT_EQ(player_start_record(kPort, TempPath("no-such-dir/x.ts").c_str(), 0), 0);
  EXPECT_EQ(player_start_record(kPort, file.c_str(), 1), 0);
}

TEST_F(PlayerStreamTest, AFilePortRecordsWhatItPlays) {
  const int32_t file_port = kPort + 1;
  ASSERT_EQ(player_open_file(file_port, Clip("mp4").c_str()), 1);
  log_.Register(file_port);
  const std::string file = TempPath("from-file.ts");
  ASSERT_EQ(player_start_record(file_port, file.c_str(), 0), 1);
  ASSERT_EQ(player_play(file_port, nullptr), 1);
  for (int i = 0; i < 4; ++i) player_faster(file_port);
  ASSERT_TRUE(WaitFor([this] { return log_.file_ends() > 0; }));
  ASSERT_EQ(player_stop_record(file_port), 1);
  EXPECT_EQ(ProbeFrameCount(file), 50);
  EXPECT_NEAR(ProbeDuration(file), 2.0, 0.1);
  EXPECT_EQ(player_close_file(file_port), 1);
}

}  // namespace
}  // namespace qxmedia_test
