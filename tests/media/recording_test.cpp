// Recordings on real media: what the files hold (every picture pushed, in
// order, each file from a key frame), and failures reported instead of
// empty or broken files passed off as success.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "backends/gp3_converter.h"
#include "backends/gpp_player.h"
#include "backends/player.h"
#include "qxplaysdk.h"
#include "tests/media/announced_files.h"
#include "tests/media/media_test_support.h"

namespace qxmedia_test {
namespace {

constexpr int32_t kPort = 70;
constexpr size_t kBlock = 4096;

// Pushes bytes [from, to) in blocks, offering a refused block again.
template <typename Push>
void Feed(const std::vector<uint8_t>& bytes, size_t from, size_t to, Push push) {
  for (size_t at = from; at < to;) {
    const size_t length = std::min(kBlock, to - at);
    if (push(bytes.data() + at, length)) {
      at += length;
    } else {
      std::this_thread::yield();
    }
  }
}

bool PushToPlayer(const uint8_t* data, size_t length) {
  return player_input_data(kPort, data, static_cast<uint32_t>(length)) == 1;
}

bool PushToConverter(const uint8_t* data, size_t length) {
  return conv_input_data(kPort, data, static_cast<uint32_t>(length)) == 0;
}

// A streamable 3GP clip of 10 s, larger than the small file system below.
std::string Long3gpClip() {
  const std::string path = TempPath("long.3gp");
  if (!std::filesystem::exists(path)) {
    RunCommand(
        "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi "
        "-i testsrc2=size=320x240:rate=25 -frames:v 250 -c:v libx264 -profile:v baseline "
        "-g 12 -pix_fmt yuv420p -movflags +faststart -f 3gp '" +
        path + "'");
  }
  return path;
}

std::string SoundCodec(const std::string& path) {
  std::istringstream streams(RunCommand(
      "ffprobe -v error -select_streams a -show_entries stream=index,codec_name -of csv=p=0 '" +
      path + "'"));
  // MPEG-TS lists its streams once per program as well: each index once.
  std::set<std::string> seen;
  std::string names;
  for (std::string line; std::getline(streams, line);) {
    if (line.empty() || !seen.insert(line).second) continue;
    if (!names.empty()) names += ",";
    names += line.substr(line.find(',') + 1);
  }
  return names;
}

// The checksum of every decoded picture, in presentation order, none
// dropped or repeated for its timestamp.
std::vector<std::string> PictureChecksums(const std::string& path) {
  const std::string text =
      RunCommand("ffmpeg -nostdin -v error -i '" + path +
                 "' -map 0:v:0 -fps_mode passthrough -f framemd5 - | grep -v '^#'");
  std::vector<std::string> sums;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    const size_t comma = line.rfind(',');
    if (comma != std::string::npos) sums.push_back(line.substr(comma + 1));
    at = end + 1;
  }
  return sums;
}

// Presentation times in order and a key frame first.
void ExpectPlayableFromItsStart(const std::string& file) {
  SCOPED_TRACE(file);
  const std::vector<ProbedFrame> frames = ProbeFrames(file);
  ASSERT_FALSE(frames.empty());
  EXPECT_TRUE(frames.front().key);
  for (size_t i = 1; i < frames.size(); ++i) {
    ASSERT_GT(frames[i].pts_ms, frames[i - 1].pts_ms) << "frame " << i;
  }
}

// The pictures of a recording's files put end to end, each file checked to
// play from its start.
std::vector<std::string> PicturesEndToEnd(const std::vector<std::string>& files) {
  std::vector<std::string> recorded;
  for (const std::string& file : files) {
    ExpectPlayableFromItsStart(file);
    const std::vector<std::string> sums = PictureChecksums(file);
    recorded.insert(recorded.end(), sums.begin(), sums.end());
  }
  return recorded;
}

class LiveRecordingTest : public ::testing::TestWithParam<const char*> {
 protected:
  void TearDown() override { player_close_stream(kPort); }
};

TEST_P(LiveRecordingTest, TheStopLeavesEveryPushedPictureInTheFile) {
  const std::string clip = Clip(GetParam());
  const std::vector<uint8_t> bytes = ReadBytes(clip);
  ASSERT_EQ(player_open_stream(kPort, nullptr, 0, 1024 * 1024), 1);
  const std::string file = TempPath(std::string("whole-") + GetParam() + ".ts");
  ASSERT_EQ(player_start_record(kPort, file.c_str(), 0), 1);
  Feed(bytes, 0, bytes.size(), PushToPlayer);
  // Nothing pushed after the last picture: the stop must still write it.
  ASSERT_EQ(player_stop_record(kPort), 1);
  EXPECT_EQ(ProbeFrameCount(file), ProbeFrameCount(clip));
  // DVD LPCM goes in as plain PCM, the samples unchanged.
  const std::string sound = SoundCodec(clip);
  EXPECT_EQ(SoundCodec(file), sound == "pcm_dvd" ? "pcm_s16be" : sound);
  ExpectPlayableFromItsStart(file);
}

TEST_P(LiveRecordingTest, FilesSwitchedByStopAndStartHoldEveryPictureEndToEnd) {
  const std::string clip = Clip(GetParam());
  const std::vector<uint8_t> bytes = ReadBytes(clip);
  ASSERT_EQ(player_open_stream(kPort, nullptr, 0, 1024 * 1024), 1);
  std::vector<std::string> files;
  for (int i = 0; i < 3; ++i) {
    files.push_back(
        TempPath(std::string("switch-") + GetParam() + "-" + std::to_string(i) + ".ts"));
  }
  ASSERT_EQ(player_start_record(kPort, files[0].c_str(), 0), 1);
  // Cuts inside pictures: the blocks do not follow the stream's packets.
  Feed(bytes, 0, bytes.size() / 3, PushToPlayer);
  for (int i = 1; i < 3; ++i) {
    // A switch as the library makes it: stop, then start at once.
    ASSERT_EQ(player_stop_record(kPort), 1);
    ASSERT_EQ(player_start_record(kPort, files[i].c_str(), 0), 1);
    Feed(bytes, i * bytes.size() / 3, (i + 1) * bytes.size() / 3, PushToPlayer);
  }
  ASSERT_EQ(player_stop_record(kPort), 1);
  EXPECT_EQ(PicturesEndToEnd(files), PictureChecksums(clip));
}

INSTANTIATE_TEST_SUITE_P(Sources, LiveRecordingTest,
                         ::testing::Values("ts", "ps", "long", "h264", "streamed", "fragmented",
                                           "mulaw", "two-sounds", "mkv", "ps-lpcm", "ps-h264",
                                           "h265-sets-once", "mkv-h265", "ps-few-packs", "flv"));

int SoundPacketCount(const std::string& path) {
  std::istringstream packets(RunCommand(
      "ffprobe -v error -select_streams a -show_entries packet=pts -of csv=p=0 '" + path + "'"));
  int count = 0;
  for (std::string line; std::getline(packets, line);) count += line.empty() ? 0 : 1;
  return count;
}

// FFmpeg's MPEG-PS muxer carries the sound 0.7 s behind the pictures of its
// moment: at a switch, the sound of the last moments before the key frame
// where the next file begins is still to come, and goes into the file
// before.
TEST(LiveRecordingSoundTest, SoundBehindItsPicturesGoesIntoTheFileBeforeTheSwitch) {
  const std::string clip = TempPath("sound-behind.mpg");
  RunCommand(
      "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=160x120:rate=25 "
      "-f lavfi -i sine=frequency=1000:sample_rate=48000:duration=6 -frames:v 150 -c:v libx264 "
      "-preset veryfast -g 12 -bf 2 -pix_fmt yuv420p -c:a mp2 -f vob '" +
      clip + "'");
  const std::vector<uint8_t> bytes = ReadBytes(clip);
  ASSERT_EQ(player_open_stream(kPort, nullptr, 0, 1024 * 1024), 1);
  const std::string files[] = {TempPath("sound-behind-0.ts"), TempPath("sound-behind-1.ts")};
  ASSERT_EQ(player_start_record(kPort, files[0].c_str(), 0), 1);
  Feed(bytes, 0, bytes.size() / 2, PushToPlayer);
  ASSERT_EQ(player_stop_record(kPort), 1);
  ASSERT_EQ(player_start_record(kPort, files[1].c_str(), 0), 1);
  Feed(bytes, bytes.size() / 2, bytes.size(), PushToPlayer);
  ASSERT_EQ(player_stop_record(kPort), 1);
  EXPECT_EQ(player_close_stream(kPort), 1);
  // As much as a recording of the whole stream holds (which leaves out
  // the sound before its first picture).
  const std::string whole = TempPath("sound-behind-whole.ts");
  ASSERT_EQ(player_open_stream(kPort, nullptr, 0, 1024 * 1024), 1);
  ASSERT_EQ(player_start_record(kPort, whole.c_str(), 0), 1);
  Feed(bytes, 0, bytes.size(), PushToPlayer);
  ASSERT_EQ(player_stop_record(kPort), 1);
  EXPECT_EQ(player_close_stream(kPort), 1);
  EXPECT_GE(SoundPacketCount(whole), SoundPacketCount(clip) - 1);
  EXPECT_EQ(SoundPacketCount(files[0]) + SoundPacketCount(files[1]), SoundPacketCount(whole));
  EXPECT_EQ(PicturesEndToEnd({files[0], files[1]}), PictureChecksums(clip));
}

// The pictures (checksums in presentation order) from the first key frame
// whose bytes begin at or after byte `joined` of `clip`.
std::vector<std::string> PicturesFromKeyFrameAfter(const std::string& clip, size_t joined) {
  std::istringstream packets(RunCommand(
      "ffprobe -v error -select_streams v:0 -show_entries packet=pos,pts,flags -of csv=p=0 '" +
      clip + "'"));
  std::vector<int64_t> times;
  int64_t first_key_time = -1;
  for (std::string line; std::getline(packets, line);) {
    int64_t pts = 0, pos = 0;
    char flags[8] = {};
    if (std::sscanf(line.c_str(), "%" SCNd64 ",%" SCNd64 ",%7s", &pts, &pos, flags) != 3) continue;
    times.push_back(pts);
    if (first_key_time < 0 && flags[0] == 'K' && pos >= static_cast<int64_t>(joined))
      first_key_time = pts;
  }
  EXPECT_GE(first_key_time, 0) << clip;
  const auto shown_before =
      std::count_if(times.begin(), times.end(), [&](int64_t t) { return t < first_key_time; });
  EXPECT_GT(shown_before, 0) << clip;
  const std::vector<std::string> all = PictureChecksums(clip);
  EXPECT_EQ(all.size(), times.size()) << clip;
  if (shown_before > static_cast<ptrdiff_t>(all.size())) return {};
  return std::vector<std::string>(all.begin() + shown_before, all.end());
}

// A streamed MP4 names its samples by their place in the stream (index
// first) or indexes them fragment by fragment, and a Matroska stream
// describes its tracks once, at its start: a recording that starts part
// way must still read them. It holds the pictures from the first key frame
// pushed after the start, every one of them, with the sound.
struct JoinedMp4 {
  const char* name;
  const char* flags;       // how the ffmpeg program writes it
  bool in_fragment_index;  // joined inside a moof box instead of at a third
};
void PrintTo(const JoinedMp4& kind, std::ostream* out) { *out << kind.name; }

class JoinedMp4Test : public ::testing::TestWithParam<JoinedMp4> {
 protected:
  void TearDown() override { player_close_stream(kPort); }
};

TEST_P(JoinedMp4Test, TheRecordingHoldsEveryPictureFromTheNextKeyFrame) {
  const JoinedMp4 kind = GetParam();
  const std::string clip = TempPath(std::string("streamed-") + kind.name + ".mp4");
  RunCommand(
      "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=160x120:rate=25 -f lavfi "
      "-i sine=frequency=1000:sample_rate=16000 -frames:v 100 -c:v libx264 -g 12 -bf 2 "
      "-pix_fmt yuv420p -c:a aac -ac 1 -shortest " +
      std::string(kind.flags) + " '" + clip + "'");
  const std::vector<uint8_t> bytes = ReadBytes(clip);
  size_t joined = bytes.size() / 3;
  if (kind.in_fragment_index) {
    static constexpr std::string_view kMoof = "moof";
    const auto found = std::search(bytes.begin() + static_cast<ptrdiff_t>(joined), bytes.end(),
                                   kMoof.begin(), kMoof.end());
    ASSERT_NE(found, bytes.end());
    joined = static_cast<size_t>(found - bytes.begin()) + 8;  // past the box's header
  }
  ASSERT_EQ(player_open_stream(kPort, nullptr, 0, 1024 * 1024), 1);
  Feed(bytes, 0, joined, PushToPlayer);
  const std::string file = TempPath(std::string("joined-") + kind.name + ".ts");
  ASSERT_EQ(player_start_record(kPort, file.c_str(), 0), 1);
  Feed(bytes, joined, bytes.size(), PushToPlayer);
  ASSERT_EQ(player_stop_record(kPort), 1);
  EXPECT_EQ(PicturesEndToEnd({file}), PicturesFromKeyFrameAfter(clip, joined));
  EXPECT_EQ(SoundCodec(file), "aac");
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, JoinedMp4Test,
    ::testing::Values(JoinedMp4{"progressive", "-movflags +faststart", false},
                      JoinedMp4{"fragments", "-movflags +frag_keyframe+empty_moov", false},
                      JoinedMp4{"fragment_index", "-movflags +frag_keyframe+empty_moov", true},
                      JoinedMp4{"long_fragments",
                                "-movflags +empty_moov+default_base_moof -frag_duration 2000000",
                                false},
                      // Matroska's head (its tracks) comes once too; joined in
                      // the middle of a cluster.
                      JoinedMp4{"matroska", "-cluster_time_limit 1000 -f matroska", false},
                      // FLV's codec setup comes in tags of its own at the
                      // start; joined inside a picture's tag.
                      JoinedMp4{"flv", "-f flv", false}),
    [](const ::testing::TestParamInfo<JoinedMp4>& param) { return param.param.name; });

// The same for the 3GP converter started on a port whose 3GPP stream is
// already being pushed: it reads the stream through the port's head.
TEST(ConverterSwitchTest, AConversionStartedMidStreamHoldsThePicturesFromTheNextKeyFrame) {
  const std::string clip = Clip("3gp");
  const std::vector<uint8_t> bytes = ReadBytes(clip);
  const size_t joined = bytes.size() / 3;
  ASSERT_EQ(gpp_open_stream(kPort, nullptr, 1024 * 1024), 0);
  const auto push_to_port = [](const uint8_t* data, size_t length) {
    return gpp_input_data(kPort, data, static_cast<uint32_t>(length)) == 0;
  };
  Feed(bytes, 0, joined, push_to_port);
  const std::string file = TempPath("joined.3gp");
  ASSERT_EQ(conv_start(kPort, file.c_str()), 0);
  Feed(bytes, joined, bytes.size(), [&](const uint8_t* data, size_t length) {
    if (!push_to_port(data, length)) return false;
    EXPECT_TRUE(PushToConverter(data, length));
    return true;
  });
  ASSERT_EQ(conv_stop(kPort), 0);
  EXPECT_EQ(gpp_close_stream(kPort), 0);
  EXPECT_EQ(PicturesEndToEnd({file}), PicturesFromKeyFrameAfter(clip, joined));
}

TEST(RecordingTimestampsTest, AStreamWhoseTimestampsRestartIsRecordedWhole) {
  // The same clip twice in a row: the second half's clock starts again, as
  // after an encoder restart.
  std::vector<uint8_t> bytes = ReadBytes(Clip("ts"));
  const std::vector<uint8_t> again = bytes;
  bytes.insert(bytes.end(), again.begin(), again.end());
  ASSERT_EQ(player_open_stream(kPort, nullptr, 0, 1024 * 1024), 1);
  const std::string file = TempPath("restart.ts");
  ASSERT_EQ(player_start_record(kPort, file.c_str(), 0), 1);
  Feed(bytes, 0, bytes.size(), PushToPlayer);
  EXPECT_EQ(player_stop_record(kPort), 1);
  EXPECT_EQ(player_close_stream(kPort), 1);
  EXPECT_EQ(ProbeFrameCount(file), 2 * ProbeFrameCount(Clip("ts")));
  ExpectPlayableFromItsStart(file);
  EXPECT_NEAR(ProbeDuration(file), 4.0, 0.2);
}

TEST(ConverterSwitchTest, FilesPutEndToEndHoldEveryPicture) {
  const std::vector<uint8_t> bytes = ReadBytes(Clip("3gp"));
  const std::vector<std::string> files = {TempPath("split-1.3gp"), TempPath("split-2.3gp"),
                                          TempPath("split-3.3gp")};
  ASSERT_EQ(conv_start(kPort, files[0].c_str()), 0);
  Feed(bytes, 0, bytes.size() / 3, PushToConverter);
  ASSERT_EQ(conv_switch_file(kPort, files[1].c_str()), 0);
  Feed(bytes, bytes.size() / 3, 2 * bytes.size() / 3, PushToConverter);
  ASSERT_EQ(conv_switch_file(kPort, files[2].c_str()), 0);
  Feed(bytes, 2 * bytes.size() / 3, bytes.size(), PushToConverter);
  ASSERT_EQ(conv_stop(kPort), 0);
  int total = 0;
  for (const std::string& file : files) {
    ExpectPlayableFromItsStart(file);
    total += ProbeFrameCount(file);
  }
  EXPECT_EQ(total, ProbeFrameCount(Clip("3gp")));
}

TEST(ConverterSwitchTest, ASwitchToAFileThatCannotBeMadeChangesNothing) {
  const std::vector<uint8_t> bytes = ReadBytes(Clip("3gp"));
  const std::string file = TempPath("kept.3gp");
  ASSERT_EQ(conv_start(kPort, file.c_str()), 0);
  Feed(bytes, 0, bytes.size() / 2, PushToConverter);
  EXPECT_NE(conv_switch_file(kPort, TempPath("no-such-folder/x.3gp").c_str()), 0);
  Feed(bytes, bytes.size() / 2, bytes.size(), PushToConverter);
  ASSERT_EQ(conv_stop(kPort), 0);
  EXPECT_EQ(ProbeFrameCount(file), ProbeFrameCount(Clip("3gp")));
}

// A clip made for these tests with the ffmpeg tool (kept for the process).
std::string MadeClip(const std::string& name, const std::string& arguments) {
  const std::string path = TempPath(name);
  if (!std::filesystem::exists(path)) {
    RunCommand(
        "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi "
        "-i testsrc2=size=176x144:rate=25 -f lavfi "
        "-i sine=frequency=800:sample_rate=8000:duration=2 -frames:v 50 " +
        arguments + " '" + path + "'");
  }
  return path;
}

struct SourceFormat {
  const char* name;        // file name, its extension the container
  const char* arguments;   // the ffmpeg tool's encoding arguments
  const char* codec;       // the recorded video's codec, as ffprobe names it
  const char* sound = "";  // the recorded sound's codec ("" none)
};

// The classic 3GPP codecs, pushed as a streamable 3GP (index first).
class ConverterCodecTest : public ::testing::TestWithParam<SourceFormat> {};

TEST_P(ConverterCodecTest, EveryPictureIsWrittenWithItsCodec) {
  const SourceFormat format = GetParam();
  const std::string clip = MadeClip(format.name, format.arguments);
  const std::vector<uint8_t> bytes = ReadBytes(clip);
  const std::string file = TempPath(std::string("converted-") + format.name);
  ASSERT_EQ(conv_start(kPort, file.c_str()), 0);
  Feed(bytes, 0, bytes.size(), PushToConverter);
  ASSERT_EQ(conv_stop(kPort), 0);
  EXPECT_EQ(ProbeVideoEntry(file, "codec_name"), format.codec);
  EXPECT_EQ(ProbeFrameCount(file), 50);
  ExpectPlayableFromItsStart(file);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, ConverterCodecTest,
    ::testing::Values(
        SourceFormat{"mpeg4.3gp",
                     "-c:v mpeg4 -g 12 -c:a aac -b:a 24k -ac 1 -movflags +faststart -f 3gp",
                     "mpeg4"},
        SourceFormat{"h263.3gp",
                     "-c:v h263 -g 12 -c:a aac -b:a 24k -ac 1 -movflags +faststart -f 3gp",
                     "h263"}),
    [](const ::testing::TestParamInfo<SourceFormat>& param) {
      return std::string(param.param.codec);
    });

// A file port records the packets it plays, from any container it reads.
class FileSourceTest : public ::testing::TestWithParam<SourceFormat> {
 protected:
  void TearDown() override { player_close_file(kPort); }
};

TEST_P(FileSourceTest, TheRecordingHoldsEveryPictureInOrder) {
  const SourceFormat format = GetParam();
  const std::string clip = MadeClip(format.name, format.arguments);
  ASSERT_EQ(player_open_file(kPort, clip.c_str()), 1);
  const std::string file = TempPath(std::string("from-") + format.name + ".ts");
  ASSERT_EQ(player_start_record(kPort, file.c_str(), 0), 1);
  std::atomic<bool> ended{false};
  ASSERT_EQ(
      player_set_file_end_callback(
          kPort,
          [](int32_t, uintptr_t user) { reinterpret_cast<std::atomic<bool>*>(user)->store(true); },
          reinterpret_cast<uintptr_t>(&ended)),
      1);
  ASSERT_EQ(player_play(kPort, nullptr), 1);
  for (int i = 0; i < 4; ++i) player_faster(kPort);
  ASSERT_TRUE(WaitFor([&] { return ended.load(); }));
  ASSERT_EQ(player_stop_record(kPort), 1);
  EXPECT_EQ(ProbeVideoEntry(file, "codec_name"), format.codec);
  EXPECT_EQ(SoundCodec(file), format.sound) << "every sound stream is recorded as it is";
  EXPECT_EQ(ProbeFrameCount(file), ProbeFrameCount(clip));
  ExpectPlayableFromItsStart(file);
}

INSTANTIATE_TEST_SUITE_P(
    Containers, FileSourceTest,
    ::testing::Values(
        SourceFormat{"bframes.mkv", "-c:v libx264 -g 12 -bf 2 -pix_fmt yuv420p -c:a aac", "h264",
                     "aac"},
        SourceFormat{"mpeg4-mulaw.avi", "-c:v mpeg4 -g 12 -c:a pcm_mulaw", "mpeg4", "pcm_mulaw"},
        // AVI gives B-pictures a presentation time and the others none.
        SourceFormat{"mpeg4-bframes.avi", "-c:v mpeg4 -g 12 -bf 2 -c:a pcm_mulaw", "mpeg4",
                     "pcm_mulaw"},
        SourceFormat{"vp9.webm", "-c:v libvpx-vp9 -g 12 -deadline realtime -c:a libopus", "vp9",
                     "opus"},
        SourceFormat{"mjpeg-pcm.avi", "-c:v mjpeg -g 12 -c:a pcm_s16le", "mjpeg", "pcm_s16le"},
        SourceFormat{"bframes.mpg", "-c:v libx264 -g 12 -bf 2 -pix_fmt yuv420p -c:a mp2 -f vob",
                     "h264", "mp2"},
        SourceFormat{"raw.h264", "-map 0:v -c:v libx264 -g 12 -bf 2 -pix_fmt yuv420p -f h264",
                     "h264"},
        SourceFormat{"two-sounds.mkv",
                     "-map 0:v -map 1:a -map 1:a -c:v libx264 -g 12 -pix_fmt yuv420p -c:a pcm_alaw",
                     "h264", "pcm_alaw,pcm_alaw"},
        // DVD LPCM: 16 bits go in as plain PCM; the file cannot carry 24 bits,
        // which are left out while the pictures are still recorded.
        SourceFormat{"lpcm.mpg", "-c:v mpeg2video -g 12 -c:a pcm_s16be -ar 48000 -f vob",
                     "mpeg2video", "pcm_s16be"},
        SourceFormat{"lpcm24.mpg",
                     "-c:v mpeg2video -g 12 -c:a pcm_dvd -sample_fmt s32 -ar 48000 -f vob",
                     "mpeg2video", ""}),
    [](const ::testing::TestParamInfo<SourceFormat>& param) {
      std::string name = param.param.name;
      std::replace_if(
          name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
      return name;
    });

// Pictures go on playing between the stop and the start (a loaded machine
// can hold the caller's thread up that long): they belong to the switch.
class FileSwitchTest : public ::testing::TestWithParam<bool> {};

TEST_P(FileSwitchTest, FilesSwitchedByStopAndStartWhilePlayingHoldEveryPicture) {
  // Matroska for sound MPEG-TS cannot carry as it is; B-pictures without
  // presentation times (AVI) held across the switch.
  const bool matroska = GetParam();
  const std::string clip =
      matroska
          ? MadeClip("switch-mulaw.avi",
                     "-c:v mpeg4 -g 12 -bf 2 -flags +cgop -sc_threshold 1000000000 -c:a pcm_mulaw")
          : Clip("mp4");
  ASSERT_EQ(player_open_file(kPort, clip.c_str()), 1);
  std::atomic<bool> ended{false};
  ASSERT_EQ(
      player_set_file_end_callback(
          kPort,
          [](int32_t, uintptr_t user) { reinterpret_cast<std::atomic<bool>*>(user)->store(true); },
          reinterpret_cast<uintptr_t>(&ended)),
      1);
  std::vector<std::string> files;
  for (int i = 0; i < 3; ++i) {
    files.push_back(TempPath("file-switch-" + std::to_string(matroska) + std::to_string(i)));
  }
  ASSERT_EQ(player_start_record(kPort, files[0].c_str(), 0), 1);
  ASSERT_EQ(player_play(kPort, nullptr), 1);
  for (int i = 1; i < 3; ++i) {
    ASSERT_TRUE(WaitFor([&] { return player_get_played_frames(kPort) >= 15U * i; }));
    ASSERT_EQ(player_stop_record(kPort), 1);
    const uint32_t played_at_stop = player_get_played_frames(kPort);
    ASSERT_TRUE(WaitFor([&] { return player_get_played_frames(kPort) >= played_at_stop + 3; }));
    ASSERT_EQ(player_start_record(kPort, files[i].c_str(), 0), 1);
  }
  for (int i = 0; i < 4; ++i) player_faster(kPort);
  ASSERT_TRUE(WaitFor([&] { return ended.load(); }));
  ASSERT_EQ(player_stop_record(kPort), 1);
  EXPECT_EQ(player_close_file(kPort), 1);
  EXPECT_EQ(PicturesEndToEnd(files), PictureChecksums(clip));
}

INSTANTIATE_TEST_SUITE_P(Containers, FileSwitchTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return param.param ? "Matroska" : "MpegTs";
                         });

// A small file system of its own that fills up while recording.
class FullFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = TempPath("full-fs");
    std::filesystem::create_directories(folder_);
    if (mount("qxrecord", folder_.c_str(), "tmpfs", 0, "size=64k") != 0) {
      GTEST_SKIP() << "cannot mount a small tmpfs here (needs root): " << std::strerror(errno);
    }
    mounted_ = true;
  }
  void TearDown() override {
    player_close_stream(kPort);
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
  }

  std::string folder_;
  bool mounted_ = false;
};

TEST_F(FullFileSystemTest, EveryBackendReportsTheFileItCouldNotWrite) {
  const std::vector<uint8_t> bytes = ReadBytes(Clip("long"));
  ASSERT_GT(bytes.size(), 64U * 1024) << "the clip must not fit";
  struct Case {
    const char* name;
    std::function<bool()> run;
  };
  const std::string ts = folder_ + "/player.ts";
  const std::string gp = folder_ + "/converter.3gp";
  const std::vector<uint8_t> gp_bytes = ReadBytes(Long3gpClip());
  ASSERT_GT(gp_bytes.size(), 64U * 1024) << "the clip must not fit";
  const Case cases[] = {
      {"player",
       [&] {
         EXPECT_EQ(player_open_stream(kPort, nullptr, 0, 4 * 1024 * 1024), 1);
         EXPECT_EQ(player_start_record(kPort, ts.c_str(), 0), 1);
         Feed(bytes, 0, bytes.size(), PushToPlayer);
         return player_stop_record(kPort) == 1;
       }},
      {"converter",
       [&] {
         EXPECT_EQ(conv_start(kPort, gp.c_str()), 0);
         Feed(gp_bytes, 0, gp_bytes.size(), PushToConverter);
         return conv_stop(kPort) == 0;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(c.run()) << "a file cut short by a full disk is no success";
    RunCommand("rm -f '" + folder_ + "'/*");
  }
}

// Through the library: the result codes and announcements a client sees.

TEST(LibraryRecordingTest, ConverterRecordingOfAPlayerStreamIsRefusedAndThePortGoesOn) {
  const std::vector<uint8_t> bytes = ReadBytes(Clip("ts"));
  int32_t port = -1;
  ASSERT_EQ(Ovra_OpenStream(&port, nullptr, 0, 1024 * 1024, OVRA_MEDIA_PLAYER), OVRA_OK);
  EXPECT_EQ(Ovra_RecordStart(port, TempPath("refused.3gp").c_str(), OVRA_MEDIA_3GPP),
            OVRA_MEDIA_TYPE_NOT_RIGHT);
  EXPECT_FALSE(std::filesystem::exists(TempPath("refused.3gp")));
  ASSERT_EQ(Ovra_Play(port, nullptr), OVRA_OK);
  EXPECT_EQ(Ovra_InputData(port, bytes.data(), kBlock), OVRA_OK);
  EXPECT_EQ(Ovra_Stop(port), OVRA_OK);
  EXPECT_EQ(Ovra_CloseStream(port), OVRA_OK);
}

TEST(LibraryRecordingTest, ASwitchIntoAMissingFolderAnnouncesTheFinishedFileAndEnds) {
  const std::vector<uint8_t> bytes = ReadBytes(Clip("ts"));
  int32_t port = -1;
  ASSERT_EQ(Ovra_OpenStream(&port, nullptr, 0, 1024 * 1024, OVRA_MEDIA_PLAYER), OVRA_OK);
  Announced announced;
  ASSERT_EQ(Ovra_SetRecordFileReadyCallback(port, &Heard, reinterpret_cast<uintptr_t>(&announced)),
            OVRA_OK);
  const std::string first = TempPath("before-missing.ts");
  ASSERT_EQ(Ovra_RecordStart(port, first.c_str(), OVRA_MEDIA_PLAYER), OVRA_OK);
  Feed(bytes, 0, bytes.size(), [port](const uint8_t* data, size_t length) {
    return Ovra_InputData(port, data, static_cast<uint32_t>(length)) == OVRA_OK;
  });
  EXPECT_EQ(Ovra_RecordSwitchFile(port, TempPath("missing/next.ts").c_str()), OVRA_PLAYSDK_ERROR);
  {
    std::lock_guard<std::mutex> guard(announced.mutex);
    EXPECT_EQ(announced.files, std::vector<std::string>{first});
  }
  EXPECT_EQ(ProbeFrameCount(first), ProbeFrameCount(Clip("ts")));
  EXPECT_EQ(Ovra_RecordStop(port), OVRA_PARAM_ERROR) << "the recording has ended";
  EXPECT_EQ(Ovra_CloseStream(port), OVRA_OK);
}

}  // namespace
}  // namespace qxmedia_test
