// A live stream's pictures come out as soon as the stream's framing says
// they are complete, and the last ones come out when the stream is closed
// instead of waiting for bytes that never come.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "backends/player.h"
#include "tests/media/media_test_support.h"
#include "tests/media/notification_log.h"

namespace qxmedia_test {
namespace {

constexpr int32_t kPort = 80;

// Byte offsets of the video packets (PES starts) of an MPEG-TS file.
std::vector<size_t> VideoPacketOffsets(const std::string& path) {
  std::istringstream lines(
      RunCommand("ffprobe -v error -select_streams v:0 -show_entries "
                 "packet=pos -of csv=p=0 '" +
                 path + "'"));
  std::vector<size_t> offsets;
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty()) offsets.push_back(static_cast<size_t>(std::stoul(line)));
  }
  return offsets;
}

class LastPicturesTest : public ::testing::TestWithParam<const char*> {
 protected:
  NotificationLog log_;
};

// Every picture of a pushed stream reaches the caller, the last ones (held by
// the demuxer and, with B-frames, by the decoder) when the stream is closed.
TEST_P(LastPicturesTest, EveryPicturePushedIsDeliveredByTheTimeTheStreamIsClosed) {
  const std::string clip = Clip(GetParam());
  // Raw elementary streams carry no timestamps: their pictures are 40 ms
  // apart (25 fps).
  const bool raw = std::string(GetParam()) == "h264" || std::string(GetParam()) == "h265";
  std::vector<ProbedFrame> expected;
  if (raw) {
    for (int i = 0; i < ProbeFrameCount(clip); ++i) expected.push_back({40 * i, false});
  } else {
    expected = ProbeFrames(clip);
    // ffprobe gives no time to an MPEG-PS stream's last picture when its
    // PES packet carried none: it is the next one at 25 fps.
    for (size_t i = 1; i < expected.size(); ++i) {
      if (expected[i].pts_ms < 0) expected[i].pts_ms = expected[i - 1].pts_ms + 40;
    }
  }
  const std::vector<uint8_t> bytes = ReadBytes(clip);
  ASSERT_EQ(player_open_stream(kPort, nullptr, 0, 4 * 1024 * 1024), 1);
  log_.Register(kPort);
  ASSERT_EQ(player_play(kPort, nullptr), 1);
  for (int i = 0; i < 4; ++i) player_faster(kPort);
  ASSERT_EQ(player_input_data(kPort, bytes.data(), static_cast<uint32_t>(bytes.size())), 1);
  ASSERT_EQ(player_close_stream(kPort), 1);
  const std::vector<DecodedRecord> decoded = log_.Decoded();
  ASSERT_EQ(decoded.size(), expected.size());
  for (size_t i = 0; i < decoded.size(); ++i) {
    EXPECT_EQ(decoded[i].frame_number, i);
    EXPECT_EQ(static_cast<int64_t>(decoded[i].timestamp_ms), expected[i].pts_ms) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, LastPicturesTest, ::testing::Values("ts", "ps", "h264", "h265"));

// MPEG-TS framing: a picture's PES packet is complete once the next one
// starts. Pushed packet by packet, each picture comes out as soon as the
// first TS packet of the next picture is in, not one picture later.
TEST(LiveFramingTest, AnMpegTsPictureComesOutOnceTheNextPictureStarts) {
  const std::string clip = TempPath("no-b-frames.ts");
  RunCommand(
      "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi "
      "-i testsrc2=size=160x120:rate=25 -frames:v 30 -c:v libx264 -preset veryfast "
      "-g 10 -bf 0 -pix_fmt yuv420p -f mpegts '" +
      clip + "'");
  const std::vector<uint8_t> bytes = ReadBytes(clip);
  const std::vector<size_t> offsets = VideoPacketOffsets(clip);
  ASSERT_EQ(offsets.size(), 30U);
  NotificationLog log;
  ASSERT_EQ(player_open_stream(kPort, nullptr, 0, 1024 * 1024), 1);
  log.Register(kPort);
  ASSERT_EQ(player_play(kPort, nullptr), 1);
  for (int i = 0; i < 4; ++i) player_faster(kPort);
  size_t pushed = 0;
  for (size_t next = 1; next < offsets.size(); ++next) {
    SCOPED_TRACE(next);
    // Up to and including the TS packet that starts picture `next`.
    const size_t end = offsets[next] + 188;
    ASSERT_EQ(player_input_data(kPort, bytes.data() + pushed, static_cast<uint32_t>(end - pushed)),
              1);
    pushed = end;
    ASSERT_TRUE(WaitFor([&] { return log.DecodedCount() >= next; }));
    EXPECT_EQ(log.DecodedCount(), next) << "a picture came out before it was complete";
  }
  EXPECT_EQ(player_close_stream(kPort), 1);
  EXPECT_EQ(log.DecodedCount(), 30U);
}

}  // namespace
}  // namespace qxmedia_test
