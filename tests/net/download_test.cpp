// Downloads from the test recorder: frame counts against ffprobe's, the
// position, stopping, and every bad input and fault.
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "include/qxplaysdk.h"
#include "tests/net/net_test_support.h"
#include "tests/net/recorder_process.h"

namespace qx::net::test {
namespace {

std::vector<std::string> Arguments(std::vector<std::string> extra = {}) {
  std::vector<std::string> arguments = {
      "--user",  kUser,         "--password",
      kPassword, "--recording", "clip,1," + std::to_string(kRecordingStart) + "," + Clip()};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  return arguments;
}

class DownloadTest : public testing::Test {
 protected:
  void Connect(const std::vector<std::string>& arguments) {
    recorder_ = std::make_unique<RecorderProcess>(arguments);
    ASSERT_NE(recorder_->port(), 0);
    ASSERT_EQ(net_init(), 1);
    login_ = net_login("127.0.0.1", recorder_->port(), kUser, kPassword, nullptr);
    ASSERT_GT(login_, 0);
  }
  void SetUp() override {
    ASSERT_FALSE(Clip().empty());
    folder_ = ScratchFolder();
  }
  void TearDown() override {
    if (login_ > 0) net_logout(login_);
    recorder_.reset();
    std::filesystem::remove_all(folder_);
  }
  std::string Target(const char* name) const { return folder_ + "/" + name; }
  // Waits for the download to end on its own; its last position.
  static int32_t Ended(int32_t download) {
    int32_t position = 0;
    WaitFor([&] {
      position = net_get_download_pos(download);
      return position == 100 || position == -1;
    });
    return position;
  }

  std::unique_ptr<RecorderProcess> recorder_;
  int32_t login_ = 0;
  std::string folder_;
};

TEST_F(DownloadTest, ByTimeHoldsExactlyTheRecordersFramesOfTheSpan) {
  Connect(Arguments());
  struct Case {
    int64_t from, to;  // seconds after the recording's start
  };
  // Key frames every second: each span starts on one.
  for (const Case& c : {Case{2, 6}, Case{0, 3}, Case{5, kClipSeconds + 30}, Case{-10, 3}}) {
    const std::string target = Target(("span" + std::to_string(c.from) + ".ts").c_str());
    NetDateTime start = RecordAt(c.from), end = RecordAt(c.to);
    int32_t download = net_download_by_time(login_, 1, &start, &end, target.c_str());
    ASSERT_NE(download, 0) << c.from;
    EXPECT_EQ(Ended(download), 100) << c.from;
    const int expected =
        ProbeFramesBetween(Clip(), static_cast<double>(c.from), static_cast<double>(c.to));
    EXPECT_GT(expected, 0);
    EXPECT_EQ(ProbeFrameCount(target), expected) << c.from << ".." << c.to;
    // Every frame keeps its time, one frame interval after the one before,
    // the span's first frame (which the recorder sends before its seek)
    // included.
    const std::vector<double> times = ProbeVideoTimestamps(target);
    for (size_t i = 0; i < times.size(); ++i) {
      ASSERT_FALSE(std::isnan(times[i])) << c.from << ": frame " << i << " has no time";
      if (i > 0) {
        ASSERT_NEAR(times[i] - times[i - 1], 1.0 / kClipFps, 1e-3) << c.from << ": frame " << i;
      }
    }
    EXPECT_EQ(net_stop_download(download), 1) << "stopping an ended download";
    EXPECT_EQ(net_get_download_pos(download), 100);
  }
}

TEST_F(DownloadTest, ByNameHoldsTheWholeRecording) {
  Connect(Arguments());
  const std::string target = Target("by name.ts");
  int32_t download = net_download_by_name(login_, "clip", target.c_str());
  ASSERT_NE(download, 0);
  EXPECT_EQ(Ended(download), 100);
  EXPECT_EQ(ProbeFrameCount(target), ProbeFrameCount(Clip()));
  EXPECT_EQ(DecodedFrameCount(target), kClipSeconds * kClipFps) << "the file decodes whole";
  EXPECT_EQ(ProbeFrameCount(target), kClipSeconds * kClipFps);
}

// RTP carries presentation times only: pictures shown after later ones
// (B-pictures) still leave the file with a decode time each, in order, never
// after their presentation time, which MPEG-TS readers need.
TEST_F(DownloadTest, BPicturesKeepDecodeTimesInOrder) {
  const std::string clip = Clip("", true);
  ASSERT_FALSE(clip.empty());
  Connect({"--user", kUser, "--password", kPassword, "--recording",
           "clip,1," + std::to_string(kRecordingStart) + "," + clip});
  const std::string by_time = Target("b by time.ts"), by_name = Target("b by name.ts");
  // The whole recording: the test recorder, on GStreamer, places an MP4's
  // B-pictures 80 ms later than FFmpeg does, so a span's edges would cut
  // other pictures than ffprobe's count of the clip expects.
  NetDateTime start = RecordAt(-10), end = RecordAt(kClipSeconds + 30);
  const int32_t downloads[] = {net_download_by_time(login_, 1, &start, &end, by_time.c_str()),
                               net_download_by_name(login_, "clip", by_name.c_str())};
  for (int32_t download : downloads) {
    ASSERT_NE(download, 0);
    EXPECT_EQ(Ended(download), 100);
  }
  const int frames = ProbeFrameCount(clip);
  for (const std::string& file : {by_time, by_name}) {
    const std::vector<PacketTimes> packets = ProbeVideoPacketTimes(file);
    ASSERT_EQ(static_cast<int>(packets.size()), frames) << file;
    EXPECT_EQ(DecodedFrameCount(file), frames) << file;
    std::vector<double> shown;
    for (size_t i = 0; i < packets.size(); ++i) {
      ASSERT_FALSE(std::isnan(packets[i].dts)) << file << ": packet " << i;
      EXPECT_LE(packets[i].dts, packets[i].pts + 1e-6) << file << ": packet " << i;
      if (i > 0) {
        ASSERT_GT(packets[i].dts, packets[i - 1].dts) << file << ": packet " << i;
      }
      shown.push_back(packets[i].pts);
    }
    std::sort(shown.begin(), shown.end());
    for (size_t i = 1; i < shown.size(); ++i)
      ASSERT_NEAR(shown[i] - shown[i - 1], 1.0 / kClipFps, 1e-3) << file << ": frame " << i;
  }
}

// A recorder that stops sending by name after its 59th frame (the 60th
// never leaves it): every picture that arrived is in the file, the ones the
// timestamper still held for B-pictures' decode times included.
TEST_F(DownloadTest, ARecorderFallenSilentLeavesEveryFrameThatArrivedInTheFile) {
  const std::string clip = Clip("", true);
  ASSERT_FALSE(clip.empty());
  Connect({"--user", kUser, "--password", kPassword, "--recording",
           "clip,1," + std::to_string(kRecordingStart) + "," + clip, "--stall-after-frames", "60"});
  setenv("QXPLAYSDK_NET_TIMEOUT_MS", "1500", 1);
  const std::string target = Target("b silent.ts");
  const int32_t download = net_download_by_name(login_, "clip", target.c_str());
  unsetenv("QXPLAYSDK_NET_TIMEOUT_MS");
  ASSERT_NE(download, 0);
  EXPECT_EQ(Ended(download), -1);
  EXPECT_EQ(ProbeFrameCount(target), 59);
  EXPECT_EQ(DecodedFrameCount(target), 59);
}

// A recorder whose sound stops while its pictures go on, and which then
// falls silent: the muxer holds the pictures back for sound that never
// comes. The download ends (-1) with those pictures written, not dropped with
// the session (the file held 1 picture of the 59 that arrived).
TEST_F(DownloadTest, PicturesTheMuxerHeldForSoundAreWrittenWhenTheRecorderFallsSilent) {
  const std::string clip = Clip("aac");
  ASSERT_FALSE(clip.empty());
  Connect({"--user", kUser, "--password", kPassword, "--sound-for-ms", "1000",
           "--stall-after-frames", "60", "--recording",
           "clip,1," + std::to_string(kRecordingStart) + "," + clip + ",aac"});
  setenv("QXPLAYSDK_NET_TIMEOUT_MS", "1500", 1);
  const std::string target = Target("sound stops.ts");
  NetDateTime start = RecordAt(0), end = RecordAt(kClipSeconds);
  const int32_t download = net_download_by_time(login_, 1, &start, &end, target.c_str());
  unsetenv("QXPLAYSDK_NET_TIMEOUT_MS");
  ASSERT_NE(download, 0);
  EXPECT_EQ(Ended(download), -1);
  EXPECT_EQ(net_stop_download(download), 1);
  const int frames = ProbeFrameCount(target);
  EXPECT_GT(frames, 2 * kClipFps) << "the pictures after the sound's end are in the file";
  EXPECT_EQ(DecodedFrameCount(target), frames);
}

// Every sound stream goes into the file as recorded: AAC into MPEG-TS as
// local recordings are written, G.711 (which MPEG-TS cannot carry) with the
// video into Matroska under the caller's name.
TEST_F(DownloadTest, SoundGoesIntoTheFileWithoutReencoding) {
  struct Case {
    const char* sound;
    const char* codec;
    const char* container;
  };
  for (const Case& c : {Case{"aac", "aac", "mpegts"}, Case{"pcmu", "pcm_mulaw", "matroska,webm"},
                        Case{"pcma", "pcm_alaw", "matroska,webm"}}) {
    const std::string clip = Clip(c.sound);
    ASSERT_FALSE(clip.empty()) << c.sound;
    Connect(
        {"--user", kUser, "--password", kPassword, "--recording",
         std::string("clip,1,") + std::to_string(kRecordingStart) + "," + clip + "," + c.sound});
    const std::string by_time = Target((std::string(c.sound) + " by time.ts").c_str());
    const std::string by_name = Target((std::string(c.sound) + " by name.ts").c_str());
    NetDateTime start = RecordAt(2), end = RecordAt(6);
    const int32_t downloads[] = {net_download_by_time(login_, 1, &start, &end, by_time.c_str()),
                                 net_download_by_name(login_, "clip", by_name.c_str())};
    for (int32_t download : downloads) {
      ASSERT_NE(download, 0) << c.sound;
      EXPECT_EQ(Ended(download), 100) << c.sound;
    }
    struct File {
      const std::string& path;
      int frames;
      double seconds;
    };
    for (const File& file : {File{by_time, ProbeFramesBetween(clip, 2, 6), 4.0},
                             File{by_name, kClipSeconds * kClipFps, double{kClipSeconds}}}) {
      EXPECT_EQ(ProbeContainer(file.path), c.container) << file.path;
      EXPECT_EQ(ProbeFrameCount(file.path), file.frames) << file.path;
      const ProbedSound sound = ProbeSound(file.path);
      EXPECT_EQ(sound.codec, c.codec) << file.path;
      EXPECT_NEAR(sound.seconds, file.seconds, 0.25) << file.path;
    }
    net_logout(login_);
    login_ = 0;
  }
}

TEST_F(DownloadTest, ARecorderThatVanishesEndsTheDownloadWithWhatArrived) {
  Connect(Arguments({"--cut-after-frames", "60"}));
  setenv("QXPLAYSDK_NET_TIMEOUT_MS", "2000", 1);
  const std::string target = Target("cut.ts");
  NetDateTime start = RecordAt(0), end = RecordAt(kClipSeconds);
  int32_t download = net_download_by_time(login_, 1, &start, &end, target.c_str());
  unsetenv("QXPLAYSDK_NET_TIMEOUT_MS");
  ASSERT_NE(download, 0);
  EXPECT_EQ(Ended(download), -1);
  EXPECT_TRUE(recorder_->Exited());
  const int frames = ProbeFrameCount(target);
  EXPECT_GT(frames, 0);
  EXPECT_LT(frames, kClipSeconds * kClipFps);
  EXPECT_EQ(net_stop_download(download), 1);
}

TEST_F(DownloadTest, ARecorderThatFallsSilentEndsTheDownloadWithWhatArrived) {
  Connect(Arguments({"--stall-after-frames", "60"}));
  setenv("QXPLAYSDK_NET_TIMEOUT_MS", "1500", 1);
  const std::string target = Target("silent.ts");
  NetDateTime start = RecordAt(1), end = RecordAt(kClipSeconds);
  int32_t download = net_download_by_time(login_, 1, &start, &end, target.c_str());
  unsetenv("QXPLAYSDK_NET_TIMEOUT_MS");
  ASSERT_NE(download, 0);
  EXPECT_EQ(Ended(download), -1);
  EXPECT_FALSE(recorder_->Exited()) << "the recorder kept its session open";
  const int frames = ProbeFrameCount(target);
  EXPECT_GT(frames, 0);
  EXPECT_LT(frames, 60);
  EXPECT_EQ(DecodedFrameCount(target), frames);
  EXPECT_EQ(net_stop_download(download), 1);
  EXPECT_EQ(net_get_download_pos(download), -1);
}

// A slow recorder, stopped mid-way: the caller's stop finishes the file with
// what arrived. Meanwhile the target cannot be claimed twice, and a
// logout does not end the download.
TEST_F(DownloadTest, AStoppedDownloadKeepsWhatArrivedPlayable) {
  // A frame every 100 ms: the 200 frames would take 20 s.
  Connect(Arguments({"--frame-delay-ms", "100"}));
  const std::string target = Target("stopped.ts");
  NetDateTime start = RecordAt(1), end = RecordAt(kClipSeconds);
  int32_t download = net_download_by_time(login_, 1, &start, &end, target.c_str());
  ASSERT_NE(download, 0);
  int32_t position = 0;
  ASSERT_TRUE(WaitFor([&] {
    position = net_get_download_pos(download);
    return position > 0;
  })) << "nothing arrived";
  EXPECT_LT(position, 100);

  EXPECT_EQ(net_download_by_time(login_, 1, &start, &end, target.c_str()), 0)
      << "a second download into a target being written";
  const std::string relative = folder_ + "/./stopped.ts";
  EXPECT_EQ(net_download_by_name(login_, "clip", relative.c_str()), 0)
      << "the same target by another spelling";

  net_logout(login_);
  login_ = 0;
  EXPECT_GE(net_get_download_pos(download), position) << "the download outlives its login";

  EXPECT_EQ(net_stop_download(download), 1);
  const int32_t stopped_at = net_get_download_pos(download);
  EXPECT_GT(stopped_at, 0);
  EXPECT_LT(stopped_at, 100);
  EXPECT_EQ(net_stop_download(download), 1) << "stopping twice";
  EXPECT_EQ(net_get_download_pos(download), stopped_at);

  const int frames = ProbeFrameCount(target);
  EXPECT_GT(frames, 0);
  EXPECT_LT(frames, kClipSeconds * kClipFps);
  EXPECT_EQ(DecodedFrameCount(target), frames) << "every frame that arrived decodes";
}

TEST_F(DownloadTest, BadInputIsRefusedAndLeavesNothingBehind) {
  Connect(Arguments());
  // Warm up: GStreamer's registry and the first session's one-time threads.
  {
    NetDateTime start = RecordAt(0), end = RecordAt(3);
    int32_t download = net_download_by_time(login_, 1, &start, &end, Target("warm.ts").c_str());
    ASSERT_NE(download, 0);
    ASSERT_EQ(Ended(download), 100);
  }
  g_thread_pool_stop_unused_threads();
  const int descriptors = OpenDescriptors();
  const int threads = Threads();

  mkdir(Target("read-only").c_str(), 0555);
  struct ByName {
    const char* what;
    const char* name;
    std::string target;
  };
  const ByName by_name[] = {
      {"climbs out", "../clip", Target("a.ts")},
      {"empty name", "", Target("b.ts")},
      {"spaces ? # and non-ASCII", "cl ip?x#y\xC3\xA9", Target("c.ts")},
      {"unknown name", "no-such-clip", Target("d.ts")},
      {"folder missing", "clip", Target("missing/e.ts")},
      {"no file in /proc", "clip", "/proc/qx-net-test.ts"},
      {"target is a folder", "clip", Target("read-only")},
  };
  for (const ByName& c : by_name) {
    EXPECT_EQ(net_download_by_name(login_, c.name, c.target.c_str()), 0) << c.what;
    EXPECT_FALSE(std::filesystem::is_regular_file(c.target)) << c.what;
  }
  EXPECT_EQ(net_download_by_name(login_, nullptr, Target("f.ts").c_str()), 0);
  EXPECT_EQ(net_download_by_name(login_, "clip", nullptr), 0);
  EXPECT_EQ(net_download_by_name(987654, "clip", Target("g.ts").c_str()), 0);

  struct ByTime {
    const char* what;
    NetDateTime start, end;
  };
  const ByTime by_time[] = {
      {"zero length", RecordAt(2), RecordAt(2)},
      {"end before start", RecordAt(3), RecordAt(2)},
      {"month 13", {2011, 13, 6, 8, 30, 0}, RecordAt(2)},
      {"day 0", RecordAt(0), {2011, 5, 0, 8, 30, 0}},
  };
  for (const ByTime& c : by_time) {
    EXPECT_EQ(net_download_by_time(login_, 1, &c.start, &c.end, Target("h.ts").c_str()), 0)
        << c.what;
  }
  NetDateTime start = RecordAt(0), end = RecordAt(2);
  EXPECT_EQ(net_download_by_time(login_, 1, &start, &end, nullptr), 0);
  EXPECT_FALSE(std::filesystem::exists(Target("h.ts")));

  // A span the recorder holds nothing of: the download starts, ends on its
  // own and reports failure, with no file.
  NetDateTime before = RecordAt(-600), still_before = RecordAt(-300);
  int32_t empty = net_download_by_time(login_, 1, &before, &still_before, Target("i.ts").c_str());
  if (empty != 0) {
    EXPECT_EQ(Ended(empty), -1);
  }
  EXPECT_FALSE(std::filesystem::exists(Target("i.ts")));

  g_thread_pool_stop_unused_threads();
  EXPECT_TRUE(WaitFor([&] { return OpenDescriptors() <= descriptors && Threads() <= threads; },
                      std::chrono::seconds(20)))
      << "descriptors " << descriptors << " -> " << OpenDescriptors() << ", threads " << threads
      << " -> " << Threads() << "\n"
      << DescribeDescriptors();
}

}  // namespace
}  // namespace qx::net::test
