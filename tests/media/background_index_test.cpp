// A file whose frame index is built in the background plays from the start
// before the index is whole, numbering and timing its pictures as the index
// will, and the calls that need the index wait for it (or give up when the
// port closes).
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "backends/media/background_index.h"
#include "backends/media/media_port.h"
#include "core/mutex.h"
#include "tests/media/media_test_support.h"

namespace qxmedia_test {
namespace {

using qx::media::IndexGate;
using qx::media::MediaPort;
using qx::media::PortOptions;

constexpr int32_t kPort = 47;

struct Picture {
  uint32_t number = 0;
  uint32_t timestamp_ms = 0;
  bool operator==(const Picture& other) const {
    return number == other.number && timestamp_ms == other.timestamp_ms;
  }
};

class PictureLog {
 public:
  static void QX_BACKEND_CALL OnPicture(int32_t /*port*/, uintptr_t /*picture*/, uintptr_t /*size*/,
                                        const PlayerFrameInfo* info, uintptr_t user,
                                        uintptr_t number) {
    auto* log = reinterpret_cast<PictureLog*>(user);
    qx::MutexLock guard(&log->mutex_);
    log->pictures_.push_back(Picture{static_cast<uint32_t>(number), info->info_c});
  }
  static void QX_BACKEND_CALL OnEnd(int32_t /*port*/, uintptr_t user) {
    auto* log = reinterpret_cast<PictureLog*>(user);
    qx::MutexLock guard(&log->mutex_);
    ++log->ends_;
  }

  void Watch(MediaPort& port) {
    port.SetDecodeCallback(&OnPicture, reinterpret_cast<uintptr_t>(this));
    port.SetFileEndCallback(&OnEnd, reinterpret_cast<uintptr_t>(this));
  }
  // The pictures since the last call, once the file's end is reached.
  std::vector<Picture> TakeAtEnd() {
    EXPECT_TRUE(WaitFor([this] {
      qx::MutexLock guard(&mutex_);
      return ends_ > 0;
    }));
    qx::MutexLock guard(&mutex_);
    ends_ = 0;
    return std::exchange(pictures_, {});
  }
  std::vector<Picture> Taken() {
    qx::MutexLock guard(&mutex_);
    return pictures_;
  }

 private:
  qx::Mutex mutex_;
  std::vector<Picture> pictures_ QX_GUARDED_BY(mutex_);
  int ends_ QX_GUARDED_BY(mutex_) = 0;
};

int ThreadsOfProcess() {
  int count = 0;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (const dirent* entry = readdir(tasks)) {
      if (entry->d_name[0] != '.') ++count;
    }
    closedir(tasks);
  }
  return count;
}

PortOptions Unpaced(std::shared_ptr<IndexGate> gate) {
  PortOptions options;
  options.paced = false;
  options.index_gate = std::move(gate);
  return options;
}

// A file played through with its index held back, then from the start
// again once the index is whole (numbered by it): the pictures of each run.
struct PlayedTwice {
  std::vector<Picture> before_index;
  std::vector<Picture> with_index;
  uint32_t frames = 0;  // the index's count
};
PlayedTwice PlayBeforeAndWithIndex(const std::string& clip) {
  PlayedTwice played;
  auto gate = std::make_shared<IndexGate>();
  const std::shared_ptr<MediaPort> port = MediaPort::OpenFile(kPort, clip, Unpaced(gate));
  EXPECT_NE(port, nullptr) << clip;
  if (!port) return played;
  PictureLog log;
  log.Watch(*port);
  EXPECT_TRUE(port->Play(nullptr));
  played.before_index = log.TakeAtEnd();
  gate->Open();
  played.frames = port->TotalFrames();
  EXPECT_TRUE(port->Stop());
  EXPECT_TRUE(port->Play(nullptr));
  played.with_index = log.TakeAtEnd();
  port->Close();
  return played;
}

class IndexedWhilePlayingTest : public ::testing::TestWithParam<const char*> {};

// The same numbers and times before the index is whole as with it, every
// frame of the file.
TEST_P(IndexedWhilePlayingTest, PicturesPlayedBeforeTheIndexIsWholeAreNumberedAsItNumbersThem) {
  const std::string clip = Clip(GetParam());
  const PlayedTwice played = PlayBeforeAndWithIndex(clip);
  EXPECT_EQ(static_cast<int>(played.frames), ProbeFrameCount(clip));
  ASSERT_EQ(played.before_index.size(), played.frames);
  for (size_t i = 0; i < played.before_index.size(); ++i) {
    EXPECT_EQ(played.before_index[i].number, i);
  }
  EXPECT_EQ(played.before_index, played.with_index);
}

INSTANTIATE_TEST_SUITE_P(Containers, IndexedWhilePlayingTest,
                         ::testing::Values("ts", "ps", "h264", "h265", "mkv", "avi", "fragmented",
                                           "cut-ts", "cut-mpeg2", "cut-h264", "cut-h265",
                                           "clock-back"));

// Blanks the picture of the `n`th video packet of an MPEG-TS file of H.264
// so that it cannot be decoded: every byte after its first slice's NAL
// header. (Blanked whole, the parser would take the packet for the tail of
// the picture before.)
void BlankPicture(const std::string& path, int n) {
  const std::string positions = RunCommand(
      "ffprobe -v error -select_streams v -show_entries packet=pos -of csv=p=0 '" + path + "'");
  std::vector<long> starts;
  for (size_t at = 0; at < positions.size();) {
    const size_t end = positions.find('\n', at);
    if (end != at) starts.push_back(std::stol(positions.substr(at, end - at)));
    at = end == std::string::npos ? positions.size() : end + 1;
  }
  ASSERT_GT(starts.size(), static_cast<size_t>(n));
  std::vector<uint8_t> bytes = ReadBytes(path);
  constexpr size_t kPacket = 188;
  auto pid = [&](size_t at) { return ((bytes[at + 1] & 0x1F) << 8) | bytes[at + 2]; };
  auto payload = [&](size_t at) {
    const bool adaptation = (bytes[at + 3] & 0x20) != 0;
    return at + 4 + (adaptation ? 1 + bytes[at + 4] : 0);
  };
  const auto first = static_cast<size_t>(starts[static_cast<size_t>(n)]);
  const int video = pid(first);
  const size_t pes = payload(first);
  ASSERT_EQ(bytes[pes + 2], 1) << "no PES packet starts there";
  const uint8_t kStartCode[] = {0, 0, 1};
  const auto units = bytes.begin() + static_cast<long>(pes + 9 + bytes[pes + 8]);
  // The access unit delimiter's start code, then the slice's.
  const auto slice = std::search(units + 3, bytes.begin() + static_cast<long>(first + kPacket),
                                 std::begin(kStartCode), std::end(kStartCode));
  ASSERT_LT(slice + 4, bytes.begin() + static_cast<long>(first + kPacket));
  std::fill(slice + 4, bytes.begin() + static_cast<long>(first + kPacket), 0);
  for (size_t at = first + kPacket; at + kPacket <= bytes.size(); at += kPacket) {
    if (pid(at) != video) continue;
    if ((bytes[at + 1] & 0x40) != 0) break;  // the next picture starts
    std::fill(bytes.begin() + static_cast<long>(payload(at)),
              bytes.begin() + static_cast<long>(at + kPacket), 0);
  }
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// A picture that cannot be decoded keeps its number while the index is
// being built: the pictures after it are numbered and timed as the index
// numbers them, not one too low.
TEST(IndexedWhilePlaying, APictureThatCannotBeDecodedKeepsItsNumber) {
  const std::string clip = TempPath("blank-picture.ts");
  RunCommand("cp '" + Clip("ts") + "' '" + clip + "'");
  BlankPicture(clip, 20);
  const PlayedTwice played = PlayBeforeAndWithIndex(clip);
  ASSERT_EQ(played.before_index.size() + 1, played.frames)
      << "the blanked picture was decoded after all";
  EXPECT_EQ(played.before_index.back().number, played.frames - 1);
  EXPECT_EQ(played.before_index, played.with_index);
}

TEST(IndexedWhilePlaying, AJumpWaitsForTheIndexAndLandsExactly) {
  auto gate = std::make_shared<IndexGate>();
  const std::shared_ptr<MediaPort> port = MediaPort::OpenFile(kPort, Clip("ts"), Unpaced(gate));
  ASSERT_NE(port, nullptr);
  PictureLog log;
  log.Watch(*port);
  ASSERT_TRUE(port->Play(nullptr));
  ASSERT_TRUE(port->Pause(true));
  std::thread opener([gate] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    gate->Open();
  });
  const bool jumped = port->SetCurrentFrame(37);
  opener.join();
  EXPECT_TRUE(jumped);
  ASSERT_FALSE(log.Taken().empty());
  EXPECT_EQ(log.Taken().back().number, 37U);
  port->Close();
}

class StepBackBeforeIndexTest : public ::testing::TestWithParam<const char*> {};

// Steps back over key frames played since the start land exactly, with the
// numbers and times of the way forward, while the index is still held back;
// and playing on from there keeps numbering as before.
TEST_P(StepBackBeforeIndexTest, LandsOnEachFrameWithoutWaitingForTheIndex) {
  auto gate = std::make_shared<IndexGate>();
  // Opens the gate only if the steps wait for the index, so that such a
  // fault fails the test instead of hanging it.
  std::promise<void> finished;
  std::atomic<bool> opened{false};
  std::thread safety([&gate, &opened, done = finished.get_future()] {
    if (done.wait_for(std::chrono::seconds(60)) == std::future_status::ready) return;
    opened = true;
    gate->Open();
  });
  const std::shared_ptr<MediaPort> port =
      MediaPort::OpenFile(kPort, Clip(GetParam()), PortOptions{true, 0, gate});
  ASSERT_NE(port, nullptr);
  PictureLog log;
  log.Watch(*port);
  ASSERT_TRUE(port->Play(nullptr));
  ASSERT_TRUE(port->Pause(true));
  constexpr uint32_t kFurthest = 30;  // past two key frames (one every 12)
  while (log.Taken().empty() || log.Taken().back().number < kFurthest) {
    ASSERT_TRUE(port->StepForward());
  }
  std::vector<Picture> forward = log.Taken();
  std::vector<uint32_t> time_of(kFurthest + 1);
  for (const Picture& picture : forward) {
    if (picture.number <= kFurthest) time_of[picture.number] = picture.timestamp_ms;
  }
  for (uint32_t n = kFurthest; n > 0; --n) {
    EXPECT_TRUE(port->StepBack()) << "from " << n;
    const Picture shown = log.Taken().back();
    EXPECT_EQ(shown, (Picture{n - 1, time_of[n - 1]})) << "from " << n;
  }
  EXPECT_FALSE(port->StepBack()) << "stepped back from the first frame";
  const size_t steps_done = log.Taken().size();
  ASSERT_TRUE(port->Pause(false));
  const std::vector<Picture> all = log.TakeAtEnd();
  finished.set_value();
  safety.join();
  EXPECT_FALSE(opened) << "the steps back waited for the index";
  ASSERT_GT(all.size(), steps_done);
  for (size_t i = steps_done; i < all.size(); ++i) {
    EXPECT_EQ(all[i].number, i - steps_done + 1) << "playing on after the steps back";
  }
  EXPECT_EQ(all.back().number, static_cast<uint32_t>(ProbeFrameCount(Clip(GetParam())) - 1));
  port->Close();
}

INSTANTIATE_TEST_SUITE_P(Containers, StepBackBeforeIndexTest,
                         ::testing::Values("ts", "mkv", "fragmented"));

// The port's close ends a jump waiting for an index that never comes, and
// the index's thread with it.
TEST(IndexedWhilePlaying, CloseEndsAJumpWaitingForTheIndex) {
  {
    // The engine's own threads (render, sound) start with the first port.
    auto warm = MediaPort::OpenFile(kPort, Clip("ts"), Unpaced(nullptr));
    ASSERT_NE(warm, nullptr);
    warm->Close();
  }
  const int threads_before = ThreadsOfProcess();
  auto gate = std::make_shared<IndexGate>();  // never opened
  std::shared_ptr<MediaPort> port = MediaPort::OpenFile(kPort, Clip("ts"), Unpaced(gate));
  ASSERT_NE(port, nullptr);
  ASSERT_TRUE(port->Play(nullptr));
  std::atomic<bool> jumped{true};
  std::thread jumper([&] { jumped = port->SetCurrentFrame(30); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  port->Close();
  jumper.join();
  EXPECT_FALSE(jumped);
  EXPECT_EQ(port->TotalFrames(), 0U);
  port.reset();
  EXPECT_TRUE(WaitFor([&] { return ThreadsOfProcess() == threads_before; }));
}

}  // namespace
}  // namespace qxmedia_test
