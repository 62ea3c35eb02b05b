// The recorder's timestamp handling on its own: a recording that starts in
// the middle of a stream begins at the next key frame and its timestamps
// keep the stream's spacing.
#include "backends/media/stream_recorder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "backends/media/media_input.h"
#include "tests/media/media_test_support.h"

namespace qxmedia_test {
namespace {

using qx::media::MediaInput;
using qx::media::RecordContainer;
using qx::media::StreamRecorder;

struct RecorderCase {
  const char* name;
  const char* clip;
  int skipped_video_packets;  // the recording starts after these
  int expected_frames;        // from the next key frame (every 12th) on
};

class RecorderTimestamps : public ::testing::TestWithParam<RecorderCase> {};

TEST_P(RecorderTimestamps, ARecordingStartsAtAKeyFrameAndKeepsTheStreamsSpacing) {
  const RecorderCase& c = GetParam();
  std::unique_ptr<MediaInput> input = MediaInput::OpenFile(Clip(c.clip));
  ASSERT_NE(input, nullptr);
  const std::string path = TempPath(std::string("recorded-") + c.name + ".ts");
  std::unique_ptr<StreamRecorder> recorder =
      StreamRecorder::Create(-1, path, RecordContainer::kMpegTs);
  ASSERT_NE(recorder, nullptr);
  qx::media::PacketPtr packet = qx::media::MakePacket();
  int video_packets = 0;
  while (input->Read(packet.get()) >= 0) {
    const bool video = packet->stream_index == input->video_stream();
    if (video) ++video_packets;
    if (!video || video_packets > c.skipped_video_packets) {
      recorder->Write(*input->context(), input->video_stream(), input->audio_stream(), *packet);
    }
    av_packet_unref(packet.get());
  }
  ASSERT_TRUE(recorder->Finish());

  const std::vector<ProbedFrame> frames = ProbeFrames(path);
  ASSERT_EQ(static_cast<int>(frames.size()), c.expected_frames);
  EXPECT_TRUE(frames.front().key) << "the file does not start at a key frame";
  for (size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].pts_ms, static_cast<int64_t>(i) * 40) << "frame " << i;  // 25 fps
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecorderTimestamps,
    ::testing::Values(RecorderCase{"FromTheStart", "ts", 0, 50},
                      RecorderCase{"FromTheMiddleOfAGroup", "ts", 3, 38},
                      RecorderCase{"FromTheSecondKeyFrame", "ts", 12, 38},
                      RecorderCase{"ProgramStream", "ps", 3, 40},  // groups of 10
                      RecorderCase{"RawH264", "h264", 0, 50},
                      RecorderCase{"RawH265", "h265", 0, 50}),
    [](const ::testing::TestParamInfo<RecorderCase>& case_info) { return case_info.param.name; });

}  // namespace
}  // namespace qxmedia_test
