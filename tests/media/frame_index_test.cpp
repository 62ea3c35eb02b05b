// The frame index on its own, over real files: it counts exactly the
// frames the decoder gives, numbers them in presentation order, and for
// every frame names a key frame to decode from that is not shown after it,
// with B-frames, without timestamps and with open groups of pictures.
#include "backends/media/frame_index.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backends/media/media_input.h"
#include "backends/media/mp4_sample_table.h"
#include "tests/media/media_test_support.h"

namespace qxmedia_test {
namespace {

using qx::media::FrameIndex;

FrameIndex IndexOf(const std::string& path) {
  std::unique_ptr<qx::media::MediaInput> input = qx::media::MediaInput::OpenFile(path);
  EXPECT_NE(input, nullptr) << path;
  if (!input) return FrameIndex{};
  return FrameIndex::Build(*input);
}

// H.264 whose groups of pictures are open: B-frames that follow a key frame
// in decode order are shown before it and refer to the group before.
std::string OpenGopClip() {
  const std::string path = TempPath("open-gop.mkv");
  RunCommand(
      "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=160x120:rate=25 "
      "-frames:v 60 -c:v libx264 -preset veryfast -bf 3 -g 12 "
      "-x264-params open-gop=1:scenecut=0:b-pyramid=none -pix_fmt yuv420p '" +
      path + "'");
  return path;
}

// What holds for every index: the frame numbers of the packets are 0..n-1
// once each, and the key frame named for each frame is one that decoding
// reaches the frame from: a key packet at or before the frame's packet in
// decode order, not shown after the frame, and the last such one.
void ExpectConsistent(const FrameIndex& index) {
  const uint32_t count = index.frame_count();
  std::vector<uint32_t> numbers;
  std::vector<uint32_t> packet_of_frame(count, count);
  for (uint32_t packet = 0; packet < count; ++packet) {
    numbers.push_back(index.FrameNumberOfPacket(packet));
    if (numbers.back() < count) packet_of_frame[numbers.back()] = packet;
  }
  std::sort(numbers.begin(), numbers.end());
  for (uint32_t i = 0; i < count; ++i) ASSERT_EQ(numbers[i], i) << "numbers are not 0..n-1";
  for (uint32_t frame = 0; frame < count; ++frame) {
    const uint32_t key = index.KeyPacketFor(frame);
    ASSERT_LT(key, count);
    EXPECT_TRUE(index.packet(key).key || key == 0) << "frame " << frame;
    std::optional<uint32_t> expected;
    for (uint32_t packet = 0; packet <= packet_of_frame[frame]; ++packet) {
      if ((packet == 0 || index.packet(packet).key) && index.FrameNumberOfPacket(packet) <= frame) {
        expected = packet;
      }
    }
    // The leading pictures of a stream's first key frame have none before.
    if (expected) {
      EXPECT_EQ(key, *expected) << "frame " << frame;
    }
  }
}

TEST(FrameIndexTest, BFramesAreNumberedInPresentationOrder) {
  const std::string path = Clip("mp4");
  const FrameIndex index = IndexOf(path);
  EXPECT_EQ(index.frame_count(), static_cast<uint32_t>(ProbeFrameCount(path)));
  EXPECT_TRUE(index.numbered_by_timestamp());
  ExpectConsistent(index);
  // Decode order differs from presentation order, and each packet's
  // timestamp ranks as its frame number.
  bool reordered = false;
  for (uint32_t packet = 0; packet < index.frame_count(); ++packet) {
    const uint32_t number = index.FrameNumberOfPacket(packet);
    reordered = reordered || number != packet;
    EXPECT_EQ(index.FrameNumberOfTimestamp(index.packet(packet).pts), number);
  }
  EXPECT_TRUE(reordered) << "the clip has no B-frames to test with";
  // The key frames are where the decoder finds them.
  const std::vector<ProbedFrame> probed = ProbeFrames(path);
  for (uint32_t packet = 0; packet < index.frame_count(); ++packet) {
    const uint32_t number = index.FrameNumberOfPacket(packet);
    EXPECT_EQ(index.packet(packet).key, probed[number].key) << "frame " << number;
  }
}

// Files whose packets lack presentation timestamps (raw H.264 and H.265,
// MPEG-4 Part 2 in AVI) with B-frames: the pictures' headers give the
// order, which must be the order the decoder shows them in.
class HeaderOrderTest : public ::testing::TestWithParam<const char*> {};

TEST_P(HeaderOrderTest, FramesAreNumberedInTheOrderTheDecoderShowsThem) {
  const std::string path = Clip(GetParam());
  const FrameIndex index = IndexOf(path);
  EXPECT_EQ(index.frame_count(), static_cast<uint32_t>(ProbeFrameCount(path)));
  EXPECT_FALSE(index.numbered_by_timestamp());
  ASSERT_TRUE(index.numbered_by_decode_index());
  ExpectConsistent(index);
  bool reordered = false;
  const std::vector<ProbedFrame> probed = ProbeFrames(path);
  ASSERT_EQ(probed.size(), index.frame_count());
  for (uint32_t packet = 0; packet < index.frame_count(); ++packet) {
    const uint32_t number = index.FrameNumberOfPacket(packet);
    reordered = reordered || number != packet;
    EXPECT_EQ(index.FrameNumberOfDecodedPacket(packet), number);
    EXPECT_EQ(index.packet(packet).key, probed[number].key) << "frame " << number;
  }
  EXPECT_TRUE(reordered) << "the clip has no B-frames to test with";
  EXPECT_EQ(index.TimestampMs(25, 25.0), 1000) << "no timestamps: counted at the frame rate";
}

INSTANTIATE_TEST_SUITE_P(Clips, HeaderOrderTest, ::testing::Values("h264", "h265", "avi"));

TEST(FrameIndexTest, OpenGroupsOfPicturesDecodeFromTheKeyFrameBefore) {
  const std::string path = OpenGopClip();
  const FrameIndex index = IndexOf(path);
  ASSERT_EQ(index.frame_count(), static_cast<uint32_t>(ProbeFrameCount(path)));
  // The clip must really have leading pictures: a key frame after which, in
  // decode order, comes a frame shown before it.
  bool leading = false;
  for (uint32_t packet = 1; packet + 1 < index.frame_count() && !leading; ++packet) {
    if (!index.packet(packet).key) continue;
    const uint32_t key_number = index.FrameNumberOfPacket(packet);
    leading = index.FrameNumberOfPacket(packet + 1) < key_number;
  }
  ASSERT_TRUE(leading) << "the encoder made no open group of pictures";
  ExpectConsistent(index);
}

TEST(FrameIndexTest, TimestampsCountFromTheFirstFrame) {
  const std::string path = Clip("mp4");
  const FrameIndex index = IndexOf(path);
  const std::vector<ProbedFrame> probed = ProbeFrames(path);
  ASSERT_EQ(probed.size(), index.frame_count());
  for (uint32_t frame = 0; frame < index.frame_count(); ++frame) {
    EXPECT_NEAR(index.TimestampMs(frame, 25.0), probed[frame].pts_ms, 1) << "frame " << frame;
  }
}

// Recorders' files joined end to end, the second with times earlier than
// the first by more than 32 bits of ticks hold, and over 4 GiB of bytes in
// the middle (the demuxers smooth such jumps out of short test files, so
// the packets are made here): frames are numbered in the file's order, the
// first file's first, and found by decode index (two parts may share
// times); every packet is still found, numbered and keyed as it was read.
TEST(FrameIndexTest, TimesThatJumpBackFarAreNumberedAndFound) {
  std::unique_ptr<qx::media::MediaInput> input = qx::media::MediaInput::OpenFile(Clip("ts"));
  ASSERT_NE(input, nullptr);
  qx::media::FrameIndexBuilder builder(*input);
  constexpr uint32_t kHalf = 150;
  constexpr int64_t kLater = int64_t{30000} * 90000;
  std::vector<qx::media::PacketPtr> packets;
  for (uint32_t i = 0; i < 2 * kHalf; ++i) {
    qx::media::PacketPtr packet = qx::media::MakePacket();
    packet->stream_index = input->video_stream();
    packet->pos = int64_t{i} * 40000 + (i >= kHalf ? (int64_t{5} << 30) : 0);
    const int64_t base = i < kHalf ? kLater : 0;
    const uint32_t in_half = i % kHalf;
    packet->dts = base + int64_t{in_half} * 3600;
    // Each I or P-frame is followed by the two B-frames shown before it.
    const uint32_t shown = in_half - in_half % 3 + (in_half % 3 == 0 ? 2 : in_half % 3 - 1);
    packet->pts = base + int64_t{shown} * 3600 + 7200;
    if (in_half % 30 == 0) packet->flags |= AV_PKT_FLAG_KEY;
    ASSERT_TRUE(builder.Add(*packet));
    packets.push_back(std::move(packet));
  }
  const FrameIndex index = builder.Finish();
  ASSERT_EQ(index.frame_count(), 2 * kHalf);
  ASSERT_TRUE(index.numbered_by_timestamp());
  ExpectConsistent(index);
  for (uint32_t i = 0; i < index.frame_count(); ++i) {
    const AVPacket& read = *packets[i];
    const uint32_t number = index.FrameNumberOfPacket(i);
    EXPECT_EQ(number < kHalf, i < kHalf) << "packet " << i << " numbered " << number;
    EXPECT_EQ(index.FrameNumberOfDecodedPacket(i), number) << "packet " << i;
    EXPECT_EQ(index.DecodeIndexOf(read), std::optional<uint32_t>(i));
    const qx::media::IndexedPacket indexed = index.packet(i);
    EXPECT_EQ(indexed.position, read.pos) << "packet " << i;
    EXPECT_EQ(indexed.key, (read.flags & AV_PKT_FLAG_KEY) != 0) << "packet " << i;
    if (indexed.key) {
      EXPECT_EQ(indexed.dts, read.dts) << "packet " << i;
      EXPECT_EQ(indexed.pts, read.pts) << "packet " << i;
    }
  }
}

// A packet read again (a jump reads the file anew) is recognised as the
// one the index holds, in every container the index is searched in.
TEST(FrameIndexTest, PacketsReadAgainAreFoundInTheIndex) {
  for (const char* clip : {"mp4", "mkv", "ts", "ps", "avi", "h264"}) {
    const std::string path = Clip(clip);
    const FrameIndex index = IndexOf(path);
    std::unique_ptr<qx::media::MediaInput> input = qx::media::MediaInput::OpenFile(path);
    ASSERT_NE(input, nullptr) << clip;
    qx::media::PacketPtr packet = qx::media::MakePacket();
    uint32_t decode_index = 0;
    while (input->Read(packet.get()) >= 0) {
      if (packet->stream_index == input->video_stream()) {
        const std::optional<uint32_t> found = index.DecodeIndexOf(*packet);
        ASSERT_TRUE(found.has_value()) << clip << ": packet " << decode_index;
        EXPECT_EQ(*found, decode_index) << clip;
        ++decode_index;
      }
      av_packet_unref(packet.get());
    }
    EXPECT_GT(decode_index, 0U) << clip;
    EXPECT_EQ(decode_index, index.frame_count()) << clip;
  }
}

// An MP4/MOV is indexed from its sample table without reading its packets:
// the index must be the one reading them gives, whatever order its pictures
// are shown in and however the demuxer shifts their times. Fragmented files
// are not indexed that way.
TEST(FrameIndexTest, AnMp4SampleTableGivesTheIndexItsPacketsGive) {
  struct Case {
    const char* name;
    const char* arguments;
    bool from_table;
    const char* cut_from = nullptr;  // copied from this second on (an edit list)
  };
  const Case cases[] = {
      {"no-b.mp4", "-c:v libx264 -preset ultrafast -g 10", true},
      {"sound-first.mp4", "-c:v libx264 -bf 0 -g 7 -c:a aac", true},
      {"mpeg4.mov", "-c:v mpeg4 -g 9 -c:a pcm_mulaw", true},
      {"mjpeg.mov", "-c:v mjpeg", true},
      {"late.mp4", "-c:v libx264 -bf 0 -g 10 -output_ts_offset 0.3", true},
      {"b-frames.mp4", "-c:v libx264 -bf 2 -g 10", true},
      {"b-pyramid.mp4", "-c:v libx264 -bf 3 -b_strategy 2 -g 12 -c:a aac", true},
      {"negative-offsets.mp4", "-c:v libx264 -bf 2 -g 10 -movflags +negative_cts_offsets", true},
      {"mpeg4-b.mov", "-c:v mpeg4 -bf 2 -g 12 -c:a pcm_mulaw", true},
      {"hevc-b.mp4", "-c:v libx265 -x265-params log-level=error:bframes=4:keyint=15", true},
      {"cut-b.mp4", "-c:v libx264 -bf 2 -g 25 -c:a aac", true, "1.3"},
      {"fragments.mp4", "-c:v libx264 -bf 0 -g 10 -movflags +frag_keyframe+empty_moov", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = TempPath(std::string("table-") + c.name);
    RunCommand(
        "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi "
        "-i testsrc2=size=96x64:rate=25 -f lavfi -i sine=sample_rate=8000 -frames:v 150 "
        "-pix_fmt yuv420p -shortest " +
        std::string(c.arguments) + " '" + path + "'");
    if (c.cut_from != nullptr) {
      RunCommand("ffmpeg -nostdin -hide_banner -loglevel error -y -ss " + std::string(c.cut_from) +
                 " -i '" + path + "' -c copy '" + path + ".cut.mp4' && mv '" + path +
                 ".cut.mp4' '" + path + "'");
    }
    std::unique_ptr<qx::media::MediaInput> input = qx::media::MediaInput::OpenFile(path);
    ASSERT_NE(input, nullptr);
    const std::optional<FrameIndex> table = FrameIndex::FromContainer(*input, path);
    ASSERT_EQ(table.has_value(), c.from_table);
    if (!table) continue;
    const FrameIndex read = IndexOf(path);
    ASSERT_EQ(table->frame_count(), read.frame_count());
    for (uint32_t i = 0; i < read.frame_count(); ++i) {
      EXPECT_EQ(table->packet(i).position, read.packet(i).position) << "packet " << i;
      EXPECT_EQ(table->packet(i).dts, read.packet(i).dts) << "packet " << i;
      EXPECT_EQ(table->packet(i).pts, read.packet(i).pts) << "packet " << i;
      EXPECT_EQ(table->packet(i).key, read.packet(i).key) << "packet " << i;
      EXPECT_EQ(table->FrameNumberOfPacket(i), read.FrameNumberOfPacket(i)) << "packet " << i;
    }
  }
}

// A sample table whose composition offsets claim more runs than their box
// holds (a damaged or hostile file) is not believed, and nothing is
// allocated for the runs it claims.
TEST(FrameIndexTest, CompositionOffsetsBeyondTheirBoxAreRefused) {
  const std::string path = TempPath("claims-too-much.mp4");
  RunCommand(
      "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=96x64:rate=25 "
      "-frames:v 30 -pix_fmt yuv420p -c:v libx264 -bf 2 -g 10 '" +
      path + "'");
  std::vector<uint8_t> bytes = ReadBytes(path);
  const uint8_t kType[] = {'c', 't', 't', 's'};
  auto box = std::search(bytes.begin(), bytes.end(), std::begin(kType), std::end(kType));
  ASSERT_NE(box, bytes.end());
  // Four bytes of body (version and flags) for a box said to hold 2^31 runs;
  // the next box's bytes follow where the count would be read.
  const size_t at = static_cast<size_t>(box - bytes.begin()) - 4;
  const uint8_t size[] = {0, 0, 0, 12};
  std::copy(std::begin(size), std::end(size), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  const uint8_t count[] = {0x7f, 0xff, 0xff, 0xff};
  std::copy(std::begin(count), std::end(count),
            bytes.begin() + static_cast<std::ptrdiff_t>(at + 12));
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  EXPECT_FALSE(qx::media::TrackCompositionOffsets(path, 1).has_value());
#else
  // In a child whose address space is capped at 1 GiB more than it maps:
  // 2^31 runs would need 16 GiB.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::ifstream status("/proc/self/status");
    unsigned long long mapped_kib = 0;
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("VmSize:", 0) == 0) mapped_kib = std::stoull(line.substr(7));
    }
    rlimit limit{};
    getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = (mapped_kib << 10) + (1ULL << 30);
    setrlimit(RLIMIT_AS, &limit);
    try {
      _exit(qx::media::TrackCompositionOffsets(path, 1).has_value() ? 1 : 0);
    } catch (...) {
      _exit(2);  // out of memory
    }
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
#endif
}

}  // namespace
}  // namespace qxmedia_test
