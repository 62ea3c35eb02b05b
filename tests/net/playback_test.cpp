// Remote playback from the test recorder into the media engine, headless.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "backends/net/gst_runtime.h"
#include "backends/net/remote_playback.h"
#include "tests/net/net_test_support.h"
#include "tests/net/recorder_process.h"

namespace qx::net::test {
namespace {

TEST(RemotePlayback, ByTimeAndByNameDeliverTheRecordingsFramesHeadless) {
  ASSERT_FALSE(Clip().empty());
  ASSERT_TRUE(EnsureGstreamer());
  RecorderProcess recorder({"--user", kUser, "--password", kPassword, "--recording",
                            "clip,1," + std::to_string(kRecordingStart) + "," + Clip()});
  ASSERT_NE(recorder.port(), 0);
  const std::string base = "rtsp://127.0.0.1:" + std::to_string(recorder.port());
  struct Case {
    const char* what;
    std::string url;
    std::optional<TimeSpan> span;
  };
  const Case cases[] = {
      {"by time", base + "/recording/1",
       TimeSpan{kRecordingStart + 1, kRecordingStart + kClipSeconds}},
      {"by name", base + "/clip", std::nullopt},
  };
  int32_t handle = 1;
  for (const Case& c : cases) {
    ReceiverOptions options;
    options.url = c.url;
    options.user = kUser;
    options.password = kPassword;
    options.span = c.span;
    options.handle = handle++;
    std::unique_ptr<RemotePlayback> playback = RemotePlayback::Start(options, nullptr);
    ASSERT_TRUE(playback) << c.what;
    // Real time: 2 s of pictures at 25 per second.
    EXPECT_TRUE(WaitFor([&] { return playback->PresentedFrames() >= 50; })) << c.what;
    EXPECT_TRUE(playback->Resume()) << c.what;
    playback->Stop();
    const uint32_t presented = playback->PresentedFrames();
    EXPECT_GE(presented, 50U) << c.what;
    playback->Stop();
    EXPECT_FALSE(playback->Resume()) << "a stopped playback stays stopped";
  }
}

// Makes a 2 s clip at 25 pictures a second with the ffmpeg program (its
// `encoding` options), serves it by name with the recorder's `video`
// payloader, plays it back to its end and expects every picture shown.
void ExpectEveryPictureShown(const std::string& name, const std::string& encoding,
                             const std::string& video, int32_t handle) {
  ASSERT_TRUE(EnsureGstreamer());
  const std::string clip = std::string(QX_NET_CLIP_DIR) + "/" + name + ".mov";
  ASSERT_EQ(
      std::system(
          ("ffmpeg -nostdin -v error -y -f lavfi -i " + encoding + " -t 2 '" + clip + "'").c_str()),
      0);
  RecorderProcess recorder({"--user", kUser, "--password", kPassword, "--video", video,
                            "--recording",
                            name + ",1," + std::to_string(kRecordingStart) + "," + clip});
  ASSERT_NE(recorder.port(), 0);
  ReceiverOptions options;
  options.url = "rtsp://127.0.0.1:" + std::to_string(recorder.port()) + "/" + name;
  options.user = kUser;
  options.password = kPassword;
  options.handle = handle;
  std::unique_ptr<RemotePlayback> playback = RemotePlayback::Start(options, nullptr);
  ASSERT_TRUE(playback);
  const uint32_t frames = 2 * 25;
  EXPECT_TRUE(
      WaitFor([&] { return playback->PresentedFrames() >= frames; }, std::chrono::seconds(10)))
      << playback->PresentedFrames() << " of " << frames << " shown";
  playback->Stop();
  EXPECT_EQ(playback->PresentedFrames(), frames);
}

// A recording played to its end shows every picture, the last one too:
// its pictures (about 100 KiB) are too large for an MPEG-TS packet length,
// so the stream ends without the bytes that would otherwise complete the
// last one.
TEST(RemotePlayback, ARecordingPlayedToItsEndShowsEveryPicture) {
  ExpectEveryPictureShown("large",
                          "testsrc2=size=480x360:rate=25,noise=alls=30:allf=t -c:v libx264 "
                          "-preset ultrafast -qp 24 -g 25 -bf 0 -pix_fmt yuv420p",
                          "h264", 300);
}

// A recorder that sends MJPEG (RTP/JPEG), which MPEG-TS cannot carry: the
// playback reaches the engine as a live Matroska stream and shows every
// picture.
TEST(RemotePlayback, AnMjpegRecordingShowsEveryPicture) {
  ExpectEveryPictureShown("mjpeg",
                          "testsrc2=size=320x240:rate=25 -c:v mjpeg -huffman default -q:v 5 "
                          "-pix_fmt yuvj420p",
                          "mjpeg", 301);
}

// The recording's sound plays on the engine port as it came: AAC in a live
// MPEG-TS stream, G.711 in a live Matroska stream. What SDL's disk driver
// played must be the recording's tone.
TEST(RemotePlayback, TheRecordingsSoundPlays) {
  ASSERT_TRUE(EnsureGstreamer());
  int32_t handle = 100;
  for (const char* sound : {"aac", "pcmu", "pcma"}) {
    const std::string clip = Clip(sound);
    ASSERT_FALSE(clip.empty()) << sound;
    RecorderProcess recorder(
        {"--user", kUser, "--password", kPassword, "--recording",
         "clip,1," + std::to_string(kRecordingStart) + "," + clip + "," + sound});
    ASSERT_NE(recorder.port(), 0);
    std::filesystem::remove(PlayedSoundFile());  // nothing left from before
    ReceiverOptions options;
    options.url = "rtsp://127.0.0.1:" + std::to_string(recorder.port()) + "/recording/1";
    options.user = kUser;
    options.password = kPassword;
    options.span = TimeSpan{kRecordingStart + 1, kRecordingStart + kClipSeconds};
    options.handle = handle++;
    std::unique_ptr<RemotePlayback> playback = RemotePlayback::Start(options, nullptr);
    ASSERT_TRUE(playback) << sound;
    // 3 s of pictures; the sound device is closed (its file complete) once
    // the port has let go of its sound.
    EXPECT_TRUE(WaitFor([&] { return playback->PresentedFrames() >= 3 * kClipFps; })) << sound;
    playback->Stop();
    const PlayedTone played = AnalysePlayedSound();
    EXPECT_GT(played.loud_seconds, 2.0) << sound;
    EXPECT_NEAR(played.frequency, kToneHz, 30.0) << sound;
  }
}

// A recorder that announces sound and never sends any, and then falls
// silent without ending the session: the pictures that came must still be
// shown, not held back waiting for sound or for the session's end.
TEST(RemotePlayback, PicturesFlowWhenAnnouncedSoundNeverComes) {
  ASSERT_TRUE(EnsureGstreamer());
  int32_t handle = 200;
  for (const char* sound : {"aac", "pcmu"}) {
    const std::string clip = Clip(sound);
    ASSERT_FALSE(clip.empty()) << sound;
    RecorderProcess recorder(
        {"--user", kUser, "--password", kPassword, "--silent-sound", "1", "--stall-after-frames",
         "60", "--recording",
         "clip,1," + std::to_string(kRecordingStart) + "," + clip + "," + sound});
    ASSERT_NE(recorder.port(), 0);
    ReceiverOptions options;
    options.url = "rtsp://127.0.0.1:" + std::to_string(recorder.port()) + "/recording/1";
    options.user = kUser;
    options.password = kPassword;
    options.span = TimeSpan{kRecordingStart, kRecordingStart + kClipSeconds};
    options.timeout = std::chrono::minutes(5);  // the stall is not ended by the silence check
    options.handle = handle++;
    std::unique_ptr<RemotePlayback> playback = RemotePlayback::Start(options, nullptr);
    ASSERT_TRUE(playback) << sound;
    EXPECT_TRUE(WaitFor([&] { return playback->PresentedFrames() >= 50; })) << sound;
    playback->Stop();
  }
}

}  // namespace
}  // namespace qx::net::test
