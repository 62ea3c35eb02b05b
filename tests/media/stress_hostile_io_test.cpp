// What the world hands a port through libqxplaysdk.so on the real backends:
// folders that are full or read-only (snapshots and recordings answer
// failure codes and leave nothing behind), streams of rubbish and padding
// (memory stays bounded and the port plays the real stream that follows),
// and window handles that name no window (refused, the process goes on).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "backends/media/render_service.h"
#include "qxplaysdk.h"
#include "tests/media/deadlock_watchdog.h"
#include "tests/media/media_test_support.h"
#include "tests/media/stress_support.h"
#include "tests/media/virtual_display.h"

// Xlib's macros (None, True, Status...) last, after every C++ header.
#include <X11/Xlib.h>

namespace qxmedia_test {
namespace {

using namespace std::chrono_literals;

void OVRA_CALLBACK CountingCallback(int32_t port, const DecodeFrameInfo*, uintptr_t) {
  CountFrame(port);
}

size_t EntriesIn(const std::string& folder) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                           std::filesystem::directory_iterator()));
}

// A file port showing frame 10 of the clip, paused: there is a picture to
// take.
int32_t PortShowingAPicture() {
  int32_t port = -1;
  EXPECT_EQ(Ovra_OpenFile(&port, Clip("mp4").c_str()), OVRA_OK);
  EXPECT_EQ(Ovra_Play(port, nullptr), OVRA_OK);
  EXPECT_EQ(Ovra_Pause(port, 1), OVRA_OK);
  EXPECT_EQ(Ovra_SetCurrentFrameNum(port, 10), OVRA_OK);
  return port;
}

// Records the clip pushed into a live port into `file`: the answers of the
// start and the stop. A start that succeeds is followed by the whole clip.
struct RecordingAnswers {
  int32_t start = 1;
  int32_t stop = 1;
};
RecordingAnswers RecordTheClipInto(const std::string& file) {
  const std::vector<uint8_t> clip = ReadBytes(Clip("ts"));
  RecordingAnswers answers;
  int32_t port = -1;
  EXPECT_EQ(Ovra_OpenStream(&port, nullptr, 0, 1024 * 1024, OVRA_MEDIA_PLAYER), OVRA_OK);
  answers.start = Ovra_RecordStart(port, file.c_str(), OVRA_MEDIA_PLAYER);
  if (answers.start == OVRA_OK) {
    EXPECT_TRUE(FeedThroughLibrary(port, clip, 0, clip.size()));
    answers.stop = Ovra_RecordStop(port);
  }
  EXPECT_EQ(Ovra_CloseStream(port), OVRA_OK);
  return answers;
}

// ---------------------------------------------------------------------------
// A full folder: a small file system of its own filled to the last byte
// (needs the right to mount), or any folder under a file-size limit of the
// process (SIGXFSZ ignored, so a write past it fails with EFBIG).

enum class Fullness { kFilledFileSystem, kFileSizeLimit };

struct FullCase {
  const char* name;
  Fullness fullness;
  friend std::ostream& operator<<(std::ostream& out, const FullCase& c) { return out << c.name; }
};

class FullFolderTest : public ::testing::TestWithParam<FullCase> {
 protected:
  void SetUp() override {
    folder_ = TempPath(std::string("full-") + GetParam().name);
    std::filesystem::create_directories(folder_);
    if (GetParam().fullness == Fullness::kFilledFileSystem) {
      if (mount("qxfull", folder_.c_str(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
      }
      mounted_ = true;
      // Filled until the file system refuses another byte.
      std::FILE* filler = std::fopen((folder_ + "/filler").c_str(), "wb");
      ASSERT_NE(filler, nullptr);
      const std::vector<char> chunk(4096, 'x');
      while (std::fwrite(chunk.data(), 1, chunk.size(), filler) == chunk.size()) {
      }
      std::fclose(filler);
    }
  }
  void TearDown() override {
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
  }

  // Runs `call` while the folder is full.
  template <typename Call>
  auto WhileFull(Call call) {
    if (GetParam().fullness == Fullness::kFilledFileSystem) return call();
    const auto previous_handler = signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limited = previous;
    limited.rlim_cur = 1024;
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    auto result = call();
    setrlimit(RLIMIT_FSIZE, &previous);
    signal(SIGXFSZ, previous_handler);
    return result;
  }
  // Room again: the filler goes, the limit is lifted.
  void MakeRoom() {
    if (mounted_) std::filesystem::remove(folder_ + "/filler");
  }

  std::string folder_;
  bool mounted_ = false;
};

TEST_P(FullFolderTest, SnapshotsAndRecordingsAnswerFailureAndLeaveNothingBehind) {
  const DeadlockWatchdog watchdog("writing into a full folder", 55s);
  // Made now: the clip maker writes files of its own.
  Clip("ts");
  const RgbPicture expected = ReferenceFrame(Clip("mp4"), 10);
  const size_t entries = EntriesIn(folder_);
  const int32_t port = PortShowingAPicture();
  for (const char* name : {"full.bmp", "full.jpg"}) {
    SCOPED_TRACE(name);
    const std::string path = folder_ + "/" + name;
    EXPECT_EQ(WhileFull([&] { return Ovra_CapPic(port, path.c_str()); }), OVRA_PLAYSDK_ERROR);
    EXPECT_FALSE(std::filesystem::exists(path));
  }
  EXPECT_EQ(EntriesIn(folder_), entries) << "a temporary file was left behind";

  // A recording cut short by the full folder is no success: the start or
  // the stop says so.
  const std::string recording = folder_ + "/full.ts";
  const RecordingAnswers answers = WhileFull([&] { return RecordTheClipInto(recording); });
  if (answers.start == OVRA_OK) {
    EXPECT_EQ(answers.stop, OVRA_PLAYSDK_ERROR) << "a recording that could not be written";
  } else {
    EXPECT_EQ(answers.start, OVRA_PLAYSDK_ERROR);
  }
  std::filesystem::remove(recording);

  // The failures left nothing wedged: with room again the same snapshot
  // is written.
  MakeRoom();
  const std::string path = folder_ + "/room.bmp";
  EXPECT_EQ(Ovra_CapPic(port, path.c_str()), OVRA_OK);
  EXPECT_GT(Psnr(DecodeImage(path), expected), 28.0);
  EXPECT_EQ(Ovra_CloseFile(port), OVRA_OK);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, FullFolderTest,
    ::testing::Values(FullCase{"FilledFileSystem", Fullness::kFilledFileSystem},
                      FullCase{"FileSizeLimit", Fullness::kFileSizeLimit}),
    [](const ::testing::TestParamInfo<FullCase>& case_info) { return case_info.param.name; });

// ---------------------------------------------------------------------------
// A read-only folder: a file system mounted read-only (needs the right to
// mount), else a folder without write permission (which binds only a caller
// that is not root).

class ReadOnlyFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = TempPath("read-only");
    std::filesystem::create_directories(folder_);
    if (mount("qxreadonly", folder_.c_str(), "tmpfs", MS_RDONLY, "size=64k") == 0) {
      mounted_ = true;
    } else if (geteuid() != 0) {
      ASSERT_EQ(chmod(folder_.c_str(), 0555), 0);
    } else {
      GTEST_SKIP() << "root without the right to mount: no folder it cannot write";
    }
  }
  void TearDown() override {
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
    chmod(folder_.c_str(), 0755);
  }

  std::string folder_;
  bool mounted_ = false;
};

TEST_F(ReadOnlyFolderTest, SnapshotsAndRecordingsThereAnswerFailureCodes) {
  const DeadlockWatchdog watchdog("writing into a read-only folder", 55s);
  const int32_t file_port = PortShowingAPicture();
  int32_t live = -1;
  ASSERT_EQ(Ovra_OpenStream(&live, nullptr, 0, 1024 * 1024, OVRA_MEDIA_PLAYER), OVRA_OK);
  int32_t gpp = -1;
  ASSERT_EQ(Ovra_OpenStream(&gpp, nullptr, 0, 1024 * 1024, OVRA_MEDIA_3GPP), OVRA_OK);
  const std::string elsewhere = TempPath("read-only-before-switch.ts");
  struct Case {
    const char* name;
    std::function<int32_t()> call;
    int32_t expected;
  };
  const std::string in = folder_ + "/";
  const Case cases[] = {
      {"bmp snapshot", [&] { return Ovra_CapPic(file_port, (in + "a.bmp").c_str()); },
       OVRA_PLAYSDK_ERROR},
      {"jpeg snapshot", [&] { return Ovra_CapPic(file_port, (in + "a.jpg").c_str()); },
       OVRA_PLAYSDK_ERROR},
      {"player recording",
       [&] { return Ovra_RecordStart(live, (in + "a.ts").c_str(), OVRA_MEDIA_PLAYER); },
       OVRA_PLAYSDK_ERROR},
      {"converter recording",
       [&] { return Ovra_RecordStart(gpp, (in + "a.3gp").c_str(), OVRA_MEDIA_3GPP); },
       OVRA_3GPPSDK_ERROR},
      {"file port recording",
       [&] { return Ovra_RecordStart(file_port, (in + "b.ts").c_str(), OVRA_MEDIA_PLAYER); },
       OVRA_PLAYSDK_ERROR},
      {"switch of a running recording",
       [&] {
         EXPECT_EQ(Ovra_RecordStart(live, elsewhere.c_str(), OVRA_MEDIA_PLAYER), OVRA_OK);
         return Ovra_RecordSwitchFile(live, (in + "c.ts").c_str());
       },
       OVRA_PLAYSDK_ERROR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(), c.expected);
  }
  EXPECT_EQ(EntriesIn(folder_), 0U) << "something was written into the read-only folder";
  EXPECT_EQ(Ovra_CloseFile(file_port), OVRA_OK);
  EXPECT_EQ(Ovra_CloseStream(live), OVRA_OK);
  EXPECT_EQ(Ovra_CloseStream(gpp), OVRA_OK);
}

// ---------------------------------------------------------------------------
// Rubbish and padding pushed into a playing live port.

struct RubbishCase {
  const char* name;
  // Fills `out` with the next bytes of the stream.
  std::function<void(std::vector<uint8_t>& out)> next;
  friend std::ostream& operator<<(std::ostream& out, const RubbishCase& c) { return out << c.name; }
};

void Repeat(std::vector<uint8_t>& out, const std::vector<uint8_t>& unit) {
  for (size_t at = 0; at < out.size(); ++at) out[at] = unit[at % unit.size()];
}

std::vector<uint8_t> TsNullPacket() {
  std::vector<uint8_t> packet(188, 0xFF);
  packet[0] = 0x47;  // sync, then PID 0x1FFF: the null packet
  packet[1] = 0x1F;
  packet[2] = 0xFF;
  packet[3] = 0x10;  // payload only
  return packet;
}

// An MPEG-2 program stream pack that holds nothing but a padding packet.
std::vector<uint8_t> PsPaddingPack() {
  constexpr size_t kPackSize = 2048;
  const uint8_t pack_header[] = {0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x04,
                                 0x00, 0x04, 0x01, 0x01, 0x89, 0xC3, 0xF8};
  constexpr size_t kPadding = kPackSize - sizeof pack_header - 6;
  const uint8_t padding_header[] = {0x00, 0x00, 0x01, 0xBE, kPadding >> 8, kPadding & 0xFF};
  std::vector<uint8_t> pack(kPackSize, 0xFF);
  std::copy(std::begin(pack_header), std::end(pack_header), pack.begin());
  std::copy(std::begin(padding_header), std::end(padding_header),
            pack.begin() + static_cast<std::ptrdiff_t>(sizeof pack_header));
  return pack;
}

// H.264 filler-data NAL units (type 12), one after the other.
std::vector<uint8_t> H264Filler() {
  std::vector<uint8_t> unit = {0x00, 0x00, 0x00, 0x01, 0x0C};
  unit.resize(4095, 0xFF);
  unit.push_back(0x80);  // the trailing bits
  return unit;
}

std::vector<RubbishCase> RubbishCases() {
  return {
      {"RandomBytes",
       [generator = std::make_shared<std::mt19937>(20261208)](std::vector<uint8_t>& out) {
         for (uint8_t& byte : out) byte = static_cast<uint8_t>((*generator)() >> 24);
       }},
      {"Zeros", [](std::vector<uint8_t>& out) { std::fill(out.begin(), out.end(), 0); }},
      {"AllOnes", [](std::vector<uint8_t>& out) { std::fill(out.begin(), out.end(), 0xFF); }},
      {"TsNullPackets", [](std::vector<uint8_t>& out) { Repeat(out, TsNullPacket()); }},
      {"PsPadding", [](std::vector<uint8_t>& out) { Repeat(out, PsPaddingPack()); }},
      {"H264FillerUnits", [](std::vector<uint8_t>& out) { Repeat(out, H264Filler()); }},
  };
}

class RubbishStreamTest : public ::testing::TestWithParam<RubbishCase> {};

// Tens of megabytes of it: resident memory grows by a bounded amount, not
// with the bytes pushed, and the real stream pushed afterwards plays.
TEST_P(RubbishStreamTest, MemoryStaysBoundedAndTheStreamAfterItPlays) {
  const DeadlockWatchdog watchdog("pushing rubbish", 55s);
  constexpr size_t kMiB = 1024 * 1024;
  // Under the sanitizers resident memory tells nothing: fewer megabytes,
  // the recovery is still checked.
  const size_t megabytes = static_cast<size_t>(Scaled(48, 8));
  // Half of what is pushed: a stream buffer, a probe's worth and the
  // demuxer's own, never memory that grows with the bytes.
  constexpr size_t kBound = 24 * kMiB;
  int32_t port = -1;
  ASSERT_EQ(Ovra_OpenStream(&port, nullptr, 0, static_cast<uint32_t>(kMiB), OVRA_MEDIA_PLAYER),
            OVRA_OK);
  ResetFrameCounts();
  ASSERT_EQ(Ovra_SetDecodeCallback(port, CountingCallback, 0), OVRA_OK);
  ASSERT_EQ(Ovra_Play(port, nullptr), OVRA_OK);
  const size_t before = ResidentBytes();
  size_t highest = before;
  std::vector<uint8_t> chunk(kMiB);
  const RubbishCase rubbish = GetParam();
  for (size_t pushed = 0; pushed < megabytes; ++pushed) {
    rubbish.next(chunk);
    ASSERT_TRUE(FeedThroughLibrary(port, chunk, 0, chunk.size(), 64 * 1024));
    highest = std::max(highest, ResidentBytes());
  }
  if (!UnderSanitizer()) {
    EXPECT_LT(highest - before, kBound) << "resident memory grew by " << (highest - before) / kMiB
                                        << " MiB over " << megabytes << " MiB pushed";
  }
  const std::vector<uint8_t> clip = ReadBytes(Clip("ts"));
  ASSERT_EQ(Ovra_SetPlaySpeed(port, 16.0F), OVRA_OK);
  ASSERT_TRUE(FeedThroughLibrary(port, clip, 0, clip.size()));
  EXPECT_TRUE(WaitFor([port] { return FramesOf(port) >= 20; }, 20s))
      << "frames of the real stream after the rubbish: " << FramesOf(port);
  EXPECT_EQ(Ovra_Stop(port), OVRA_OK);
  EXPECT_EQ(Ovra_CloseStream(port), OVRA_OK);
}

INSTANTIATE_TEST_SUITE_P(Kinds, RubbishStreamTest, ::testing::ValuesIn(RubbishCases()),
                         [](const ::testing::TestParamInfo<RubbishCase>& case_info) {
                           return case_info.param.name;
                         });

// ---------------------------------------------------------------------------
// Window handles that name no window.

std::atomic<uintptr_t> drawn_into{0};
void OVRA_CALLBACK NoteDrawWindow(int32_t, uintptr_t window, uintptr_t) { drawn_into = window; }

TEST(BogusWindowTest, HandlesThatNameNoWindowAreRefusedAndARealOneIsDrawnInto) {
  const DeadlockWatchdog watchdog("bogus window handles", 55s);
  int32_t port = -1;
  ASSERT_EQ(Ovra_OpenFile(&port, Clip("long").c_str()), OVRA_OK);

  // No X server at all.
  qx::media::ReleaseDisplay();
  const char* display_before = std::getenv("DISPLAY");
  const std::string saved = display_before != nullptr ? display_before : "";
  setenv("DISPLAY", ":4242", 1);
  EXPECT_EQ(Ovra_Play(port, reinterpret_cast<void*>(uintptr_t{0x200001})), OVRA_PLAYSDK_ERROR);
  EXPECT_EQ(Ovra_Play(port, nullptr), OVRA_OK) << "decoding without a window goes on";
  EXPECT_EQ(Ovra_Stop(port), OVRA_OK);
  qx::media::ReleaseDisplay();

  VirtualDisplay server;
  ASSERT_TRUE(server.ready()) << "Xvfb did not start";
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  const ::Window root = DefaultRootWindow(display);
  const ::Window window = XCreateSimpleWindow(display, root, 0, 0, 160, 120, 0, 0, 0);
  XMapWindow(display, window);
  const ::Window destroyed = XCreateSimpleWindow(display, root, 0, 0, 16, 16, 0, 0, 0);
  XDestroyWindow(display, destroyed);
  const Pixmap pixmap = XCreatePixmap(display, root, 16, 16, 24);
  XSync(display, False);

  struct Bogus {
    const char* name;
    uintptr_t handle;
  };
  std::vector<Bogus> handles = {
      {"1", 1},
      {"an id no client was given", 0x7FFFFFF0},
      {"every bit set", UINTPTR_MAX},
      {"a destroyed window", destroyed},
      {"a pixmap", pixmap},
  };
  // An X resource id has 29 bits: a handle with higher bits set names no
  // window, even when its low 32 bits name one.
  if (sizeof(uintptr_t) > 4) {
    handles.push_back({"a window's id with high bits set",
                       static_cast<uintptr_t>(window) | (uintptr_t{1} << (sizeof(uintptr_t) * 4))});
  }
  handles.push_back({"a window's id with bit 29 set", static_cast<uintptr_t>(window) | (1U << 29)});
  for (const Bogus& bogus : handles) {
    SCOPED_TRACE(bogus.name);
    EXPECT_EQ(Ovra_Play(port, reinterpret_cast<void*>(bogus.handle)), OVRA_PLAYSDK_ERROR);
  }

  // The refusals are no blanket refusal: the real window is drawn into.
  ASSERT_EQ(Ovra_RegisterDrawFun(port, NoteDrawWindow, 0), OVRA_OK);
  ASSERT_EQ(Ovra_Play(port, reinterpret_cast<void*>(static_cast<uintptr_t>(window))), OVRA_OK);
  EXPECT_TRUE(WaitFor([&] { return drawn_into.load() == static_cast<uintptr_t>(window); }));
  EXPECT_EQ(Ovra_Stop(port), OVRA_OK);
  EXPECT_EQ(Ovra_CloseFile(port), OVRA_OK);
  XFreePixmap(display, pixmap);
  XDestroyWindow(display, window);
  XCloseDisplay(display);
  qx::media::ReleaseDisplay();  // before the server goes
  if (saved.empty()) {
    unsetenv("DISPLAY");
  } else {
    setenv("DISPLAY", saved.c_str(), 1);
  }
}

}  // namespace
}  // namespace qxmedia_test
