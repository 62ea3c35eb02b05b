// The library (libqxplaysdk.so) on the real backends: what a client sees.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "backends/player.h"
#include "qxplaysdk.h"
#include "tests/media/media_test_support.h"

namespace qxmedia_test {
namespace {

struct FrameLog {
  std::mutex mutex;
  std::vector<DecodeFrameInfo> frames;
};

void OVRA_CALLBACK OnFrame(int32_t /*port*/, const DecodeFrameInfo* info, uintptr_t user) {
  auto* log = reinterpret_cast<FrameLog*>(user);
  std::lock_guard<std::mutex> guard(log->mutex);
  log->frames.push_back(*info);
}

size_t FrameCount(FrameLog& log) {
  std::lock_guard<std::mutex> guard(log.mutex);
  return log.frames.size();
}

TEST(LibraryOnMediaTest, ALiveStreamFedThroughTheLibraryIsDecoded) {
  const std::vector<uint8_t> bytes = ReadBytes(Clip("ts"));
  int32_t port = -1;
  ASSERT_EQ(Ovra_OpenStream(&port, nullptr, 0, 1024 * 1024, OVRA_MEDIA_PLAYER), OVRA_OK);
  ASSERT_EQ(port, OVRA_FIRST_LOCAL_PORT);
  ASSERT_EQ(Ovra_Play(port, nullptr), OVRA_OK);
  for (size_t at = 0; at < bytes.size(); at += 4096) {
    const auto length = static_cast<uint32_t>(std::min<size_t>(4096, bytes.size() - at));
    ASSERT_EQ(Ovra_InputData(port, bytes.data() + at, length), OVRA_OK);
  }
  // The port the library opened is the player library's port of that number.
  EXPECT_TRUE(WaitFor([&] { return player_get_played_frames(port) >= 10; }));
  EXPECT_EQ(Ovra_Stop(port), OVRA_OK);
  EXPECT_EQ(Ovra_CloseStream(port), OVRA_OK);
  EXPECT_EQ(Ovra_InputData(port, bytes.data(), 16), OVRA_PARAM_ERROR);
}

TEST(LibraryOnMediaTest, ClosingAStreamAsAFileFreesTheNumberInThePlayerToo) {
  for (const int32_t media_type : {OVRA_MEDIA_3GPP, OVRA_MEDIA_PLAYER}) {
    SCOPED_TRACE(media_type);
    int32_t port = -1;
    ASSERT_EQ(Ovra_OpenStream(&port, nullptr, 0, 64 * 1024, media_type), OVRA_OK);
    EXPECT_EQ(Ovra_CloseFile(port), OVRA_PLAYSDK_ERROR);  // it was no file
    int32_t again = -1;
    EXPECT_EQ(Ovra_OpenStream(&again, nullptr, 0, 64 * 1024, media_type), OVRA_OK);
    EXPECT_EQ(again, port);
    EXPECT_EQ(Ovra_CloseStream(again), OVRA_OK);
  }
}

TEST(LibraryOnMediaTest, AFileThePlayerCannotReadIsReportedAndItsPortComesBack) {
  const std::string text = TempPath("not-media.mp4");
  RunCommand("echo hello > '" + text + "'");
  int32_t port = -1;
  EXPECT_EQ(Ovra_OpenFile(&port, text.c_str()), OVRA_PLAYSDK_ERROR);
  ASSERT_EQ(port, OVRA_FIRST_LOCAL_PORT);
  EXPECT_EQ(Ovra_CloseFile(port), OVRA_PLAYSDK_ERROR);  // nothing was open
  int32_t again = -1;
  ASSERT_EQ(Ovra_OpenFile(&again, Clip("mp4").c_str()), OVRA_OK);
  EXPECT_EQ(again, OVRA_FIRST_LOCAL_PORT);
  EXPECT_EQ(player_get_total_frames(again), 50U);
  EXPECT_EQ(Ovra_CloseFile(again), OVRA_OK);
}

TEST(LibraryOnMediaTest, DecodedFramesReachTheCallerNumberedFromZero) {
  int32_t port = -1;
  ASSERT_EQ(Ovra_OpenFile(&port, Clip("mp4").c_str()), OVRA_OK);
  FrameLog log;
  ASSERT_EQ(Ovra_SetDecodeCallback(port, &OnFrame, reinterpret_cast<uintptr_t>(&log)), OVRA_OK);
  ASSERT_EQ(Ovra_Play(port, nullptr), OVRA_OK);
  ASSERT_EQ(Ovra_SetPlaySpeed(port, 16.0F), OVRA_OK);
  ASSERT_TRUE(WaitFor([&] { return FrameCount(log) >= 50; }));
  ASSERT_EQ(Ovra_Stop(port), OVRA_OK);
  const std::vector<ProbedFrame> expected = ProbeFrames(Clip("mp4"));
  std::lock_guard<std::mutex> guard(log.mutex);
  ASSERT_EQ(log.frames.size(), 50U);
  for (uint32_t i = 0; i < 50; ++i) {
    EXPECT_EQ(log.frames[i].marker, 1U);
    EXPECT_EQ(log.frames[i].sequence, i);
    EXPECT_EQ(log.frames[i].info_a, 160U);
    EXPECT_EQ(log.frames[i].info_b, 120U);
    EXPECT_NEAR(static_cast<double>(log.frames[i].info_c), static_cast<double>(expected[i].pts_ms),
                1.0);
    EXPECT_EQ(log.frames[i].info_e, 25U);
    EXPECT_EQ(log.frames[i].extra_b, 160U * 120U * 3U / 2U);  // the picture's size
  }
  EXPECT_EQ(Ovra_CloseFile(port), OVRA_OK);
}

TEST(LibraryOnMediaTest, SnapshotAndFrameJumpThroughTheLibrary) {
  int32_t port = -1;
  ASSERT_EQ(Ovra_OpenFile(&port, Clip("mkv").c_str()), OVRA_OK);
  ASSERT_EQ(Ovra_Play(port, nullptr), OVRA_OK);
  ASSERT_EQ(Ovra_Pause(port, 1), OVRA_OK);
  ASSERT_EQ(Ovra_SetCurrentFrameNum(port, 17), OVRA_OK);
  const std::string file = TempPath("library-17.bmp");
  ASSERT_EQ(Ovra_CapPic(port, file.c_str()), OVRA_OK);
  EXPECT_GT(Psnr(DecodeImage(file), ReferenceFrame(Clip("mkv"), 17)), 28.0);
  EXPECT_EQ(Ovra_CloseFile(port), OVRA_OK);
}

struct Announcements {
  std::mutex mutex;
  std::vector<std::string> files;
};

void OVRA_CALLBACK OnFileReady(int32_t /*port*/, const char* file_name, uintptr_t user) {
  auto* announced = reinterpret_cast<Announcements*>(user);
  std::lock_guard<std::mutex> guard(announced->mutex);
  announced->files.emplace_back(file_name);
}

TEST(LibraryOnMediaTest, RecordingThroughTheLibraryAnnouncesFinishedFiles) {
  const std::vector<uint8_t> bytes = ReadBytes(Clip("long"));
  int32_t port = -1;
  ASSERT_EQ(Ovra_OpenStream(&port, nullptr, 0, 4 * 1024 * 1024, OVRA_MEDIA_PLAYER), OVRA_OK);
  Announcements announced;
  ASSERT_EQ(
      Ovra_SetRecordFileReadyCallback(port, &OnFileReady, reinterpret_cast<uintptr_t>(&announced)),
      OVRA_OK);
  const std::string first = TempPath("library-1.ts");
  const std::string second = TempPath("library-2.ts");
  ASSERT_EQ(Ovra_RecordStart(port, first.c_str(), OVRA_MEDIA_PLAYER), OVRA_OK);
  const size_t half = bytes.size() / 2;
  auto feed = [&](size_t from, size_t to) {
    for (size_t at = from; at < to; at += 4096) {
      const auto length = static_cast<uint32_t>(std::min<size_t>(4096, to - at));
      ASSERT_EQ(Ovra_InputData(port, bytes.data() + at, length), OVRA_OK);
    }
  };
  feed(0, half);
  // Not played: the port reads what comes as fast as it comes.
  ASSERT_TRUE(WaitFor([&] { return ProbeFrameCountIfReadable(first) >= 100; }));
  ASSERT_EQ(Ovra_RecordSwitchFile(port, second.c_str()), OVRA_OK);
  feed(half, bytes.size());
  ASSERT_TRUE(WaitFor([&] { return ProbeFrameCountIfReadable(second) >= 100; }));
  EXPECT_EQ(Ovra_RecordStop(port), OVRA_OK);
  EXPECT_EQ(Ovra_CloseStream(port), OVRA_OK);

  std::lock_guard<std::mutex> guard(announced.mutex);
  EXPECT_EQ(announced.files, (std::vector<std::string>{first, second}));
  EXPECT_GE(ProbeFrameCount(first) + ProbeFrameCount(second), 250 - 12);
}

TEST(LibraryOnMediaTest, VoiceFromTheFarEndIsPlayedAndTheChannelCloses) {
  int32_t voice = -1;
  ASSERT_EQ(Ovra_InitAudio(&voice), OVRA_OK);
  ASSERT_EQ(voice, OVRA_VOICE_PORT);
  std::vector<uint8_t> silence(1024, 0xFF);  // mu-law zero
  EXPECT_EQ(Ovra_InputAudioData(voice, silence.data(), 1024), OVRA_OK);
  EXPECT_EQ(Ovra_CloseAudio(voice), OVRA_OK);
  EXPECT_EQ(Ovra_CloseAudio(voice), OVRA_AUDIO_NOT_INITIALISED);
}

}  // namespace
}  // namespace qxmedia_test
