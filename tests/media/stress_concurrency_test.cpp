// Many callers at once through libqxplaysdk.so on the real backends: one
// live port pushed into from several threads while others stop and play it,
// switch its recording and take snapshots; every local port playing at
// once, with the full table's answer; thousands of open, play and close
// cycles that leave no descriptor or thread behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "qxplaysdk.h"
#include "tests/media/announced_files.h"
#include "tests/media/deadlock_watchdog.h"
#include "tests/media/media_test_support.h"
#include "tests/media/stress_support.h"

namespace qxmedia_test {
namespace {

using namespace std::chrono_literals;

void OVRA_CALLBACK CountingCallback(int32_t port, const DecodeFrameInfo*, uintptr_t) {
  CountFrame(port);
}

// Answers of one kind of call: how many, how many succeeded, and the first
// one that is none of the documented answers.
class Answers {
 public:
  explicit Answers(std::vector<int32_t> expected) : expected_(std::move(expected)) {}
  void Note(int32_t answer) {
    if (answer == OVRA_OK) ++ok_;
    if (std::find(expected_.begin(), expected_.end(), answer) == expected_.end()) {
      int32_t none = 1;
      unexpected_.compare_exchange_strong(none, answer);
    }
    ++count_;
  }
  int count() const { return count_.load(); }
  int ok() const { return ok_.load(); }
  // 1 while every answer was expected.
  int32_t unexpected() const { return unexpected_.load(); }

 private:
  const std::vector<int32_t> expected_;
  std::atomic<int> count_{0};
  std::atomic<int> ok_{0};
  std::atomic<int32_t> unexpected_{1};
};

// 24,000 blocks pushed by three threads into one playing, recording live
// port (a refused block offered again) while a fourth stops and plays it
// again, a fifth switches its recording and a sixth takes snapshots: every
// call answers a documented code, every finished file is announced once, in
// order, and exists, every snapshot is a whole picture, and the port plays
// a clean stream afterwards.
TEST(PortStormTest, PushesStopsSwitchesAndSnapshotsFromManyThreadsOnOnePort) {
  const DeadlockWatchdog watchdog("the storm on one port", 55s);
  const std::vector<uint8_t> clip = ReadBytes(Clip("long"));
  ASSERT_EQ(clip.size() % 188, 0U) << "an MPEG-TS clip of whole packets";
  constexpr int kPushers = 3;
  constexpr int kPushesEach = 8000;
  // Whole TS packets: the threads' blocks interleave into a stream the
  // demuxer has to resynchronise on, as after a lossy connection.
  constexpr size_t kBlock = 188 * 4;
  constexpr int kAtLeast = 20;  // stops, switches and snapshots each

  int32_t port = -1;
  ASSERT_EQ(Ovra_OpenStream(&port, nullptr, 0, 1024 * 1024, OVRA_MEDIA_PLAYER), OVRA_OK);
  Announced announced;
  ASSERT_EQ(Ovra_SetRecordFileReadyCallback(port, &Heard, reinterpret_cast<uintptr_t>(&announced)),
            OVRA_OK);
  std::vector<std::string> recordings = {TempPath("storm-0.ts")};
  ASSERT_EQ(Ovra_RecordStart(port, recordings[0].c_str(), OVRA_MEDIA_PLAYER), OVRA_OK);
  ResetFrameCounts();
  ASSERT_EQ(Ovra_SetDecodeCallback(port, CountingCallback, 0), OVRA_OK);
  ASSERT_EQ(Ovra_Play(port, nullptr), OVRA_OK);

  Answers pushes({OVRA_OK, OVRA_PLAYSDK_ERROR});  // taken, or the buffer is full now
  Answers control({OVRA_OK});
  Answers switches({OVRA_OK});
  Answers snapshots({OVRA_OK, OVRA_PLAYSDK_ERROR});  // before the first picture: refused
  std::vector<std::string> snapshot_files;
  std::atomic<int> pushers_left{kPushers};
  std::atomic<int> refusals{0};
  std::atomic<int> stops{0};
  auto pushing = [&] { return pushers_left.load() > 0; };

  std::vector<std::thread> threads;
  for (int t = 0; t < kPushers; ++t) {
    threads.emplace_back([&, t] {
      size_t at = (clip.size() / kPushers / 188) * 188 * static_cast<size_t>(t);
      // Each block is offered again until the port takes it, as a client
      // holding a connection's bytes would.
      for (int i = 0; i < kPushesEach;) {
        const size_t length = std::min(kBlock, clip.size() - at);
        const int32_t answer =
            Ovra_InputData(port, clip.data() + at, static_cast<uint32_t>(length));
        pushes.Note(answer);
        if (answer != OVRA_OK) {
          refusals.fetch_add(1);
          std::this_thread::yield();
          continue;
        }
        ++i;
        at = (at + length) % clip.size();
      }
      --pushers_left;
    });
  }
  threads.emplace_back([&] {
    while (pushing() || stops.load() < kAtLeast) {
      control.Note(Ovra_Stop(port));
      control.Note(Ovra_SetDecodeCallback(port, CountingCallback, 0));
      control.Note(Ovra_Play(port, nullptr));
      control.Note(Ovra_SetPlaySpeed(port, 16.0F));
      ++stops;
      std::this_thread::sleep_for(1ms);
    }
  });
  // The only thread that switches, so the names go in this order.
  threads.emplace_back([&] {
    while (pushing() || switches.count() < kAtLeast) {
      const std::string next = TempPath("storm-" + std::to_string(recordings.size()) + ".ts");
      const int32_t answer = Ovra_RecordSwitchFile(port, next.c_str());
      switches.Note(answer);
      if (answer == OVRA_OK) recordings.push_back(next);
      std::this_thread::sleep_for(2ms);
    }
  });
  threads.emplace_back([&] {
    while (pushing() || snapshots.count() < kAtLeast) {
      const std::string name = TempPath("storm-" + std::to_string(snapshots.count()) + ".bmp");
      const int32_t answer = Ovra_CapPic(port, name.c_str());
      snapshots.Note(answer);
      if (answer == OVRA_OK) snapshot_files.push_back(name);
      std::this_thread::sleep_for(2ms);
    }
  });
  for (std::thread& thread : threads) thread.join();

  // The port survived: stopped and played again, a clean stream decodes,
  // and gives the last file its key frame, so that the stop finds it whole.
  ASSERT_EQ(Ovra_Stop(port), OVRA_OK);
  ResetFrameCounts();
  ASSERT_EQ(Ovra_SetDecodeCallback(port, CountingCallback, 0), OVRA_OK);
  ASSERT_EQ(Ovra_Play(port, nullptr), OVRA_OK);
  ASSERT_EQ(Ovra_SetPlaySpeed(port, 16.0F), OVRA_OK);
  ASSERT_TRUE(FeedThroughLibrary(port, clip, 0, clip.size()));
  EXPECT_TRUE(WaitFor([port] { return FramesOf(port) >= 20; }, 20s))
      << "frames after the storm: " << FramesOf(port);
  EXPECT_EQ(Ovra_RecordStop(port), OVRA_OK);
  EXPECT_EQ(Ovra_Stop(port), OVRA_OK);
  EXPECT_EQ(Ovra_CloseStream(port), OVRA_OK);

  EXPECT_EQ(pushes.ok(), kPushers * kPushesEach);
  EXPECT_EQ(pushes.count(), pushes.ok() + refusals.load());
  EXPECT_EQ(pushes.unexpected(), 1) << "Ovra_InputData answered " << pushes.unexpected();
  EXPECT_EQ(control.unexpected(), 1) << "stop, callback or play answered " << control.unexpected();
  EXPECT_EQ(switches.unexpected(), 1) << "a switch answered " << switches.unexpected();
  EXPECT_EQ(snapshots.unexpected(), 1) << "a snapshot answered " << snapshots.unexpected();
  {
    std::lock_guard<std::mutex> guard(announced.mutex);
    EXPECT_EQ(announced.files, recordings) << "each finished file announced once, in order";
  }
  for (const std::string& file : recordings) {
    EXPECT_TRUE(std::filesystem::exists(file)) << file;
  }
  // The last file took the clean stream.
  EXPECT_GT(ProbeFrameCount(recordings.back()), 0);
  for (const std::string& file : snapshot_files) {
    const RgbPicture picture = DecodeImage(file);
    EXPECT_EQ(picture.width, 160) << file;
    EXPECT_EQ(picture.height, 120) << file;
  }
}

// Every local port at once: files and live streams, all playing; the next
// open of either kind is refused with the table-full answer and leaves the
// caller's variable alone; a number given back is the next one handed out.
TEST(PortTableStressTest, EveryLocalPortPlaysAtOnceAndTheNextOpenIsRefused) {
  const DeadlockWatchdog watchdog("every local port at once", 55s);
  const std::string file = Clip("long");
  const std::vector<uint8_t> stream = ReadBytes(Clip("ts"));
  constexpr int kLocalPorts = OVRA_LAST_LOCAL_PORT - OVRA_FIRST_LOCAL_PORT + 1;
  ResetFrameCounts();
  std::vector<int32_t> ports;
  std::vector<bool> streams;
  for (int i = 0; i < kLocalPorts; ++i) {
    // Under ThreadSanitizer every race its suppressions hide (FFmpeg's
    // frame threads hand buffers over through atomics it cannot see) is
    // still symbolised under one lock: a file port's frame threads make so
    // many that dozens of them starve each other. Mostly live ports there,
    // whose decoders use slice threads.
    const bool live = UnderSanitizer() ? i % 8 != 0 : i % 4 == 3;
    int32_t port = -1;
    if (live) {
      ASSERT_EQ(Ovra_OpenStream(&port, nullptr, 0, 1024 * 1024, OVRA_MEDIA_PLAYER), OVRA_OK) << i;
    } else {
      ASSERT_EQ(Ovra_OpenFile(&port, file.c_str()), OVRA_OK) << i;
    }
    ports.push_back(port);
    streams.push_back(live);
    ASSERT_EQ(Ovra_SetDecodeCallback(port, CountingCallback, 0), OVRA_OK);
    ASSERT_EQ(Ovra_Play(port, nullptr), OVRA_OK);
    if (live) {
      ASSERT_TRUE(FeedThroughLibrary(port, stream, 0, stream.size()));
    }
  }
  std::vector<int32_t> sorted = ports;
  std::sort(sorted.begin(), sorted.end());
  for (int i = 0; i < kLocalPorts; ++i) ASSERT_EQ(sorted[i], OVRA_FIRST_LOCAL_PORT + i);

  const auto all_playing = [&] {
    return std::all_of(ports.begin(), ports.end(),
                       [](int32_t port) { return FramesOf(port) >= 3; });
  };
  EXPECT_TRUE(WaitFor(all_playing, 40s)) << "not every port delivered frames: " << [&] {
    std::string counts;
    for (const int32_t port : ports) {
      counts += std::to_string(port) + ":" + std::to_string(FramesOf(port)) + " ";
    }
    return counts;
  }();

  int32_t refused = -77;
  EXPECT_EQ(Ovra_OpenFile(&refused, file.c_str()), OVRA_NO_UNUSED_PORT);
  EXPECT_EQ(Ovra_OpenStream(&refused, nullptr, 0, 1024, OVRA_MEDIA_PLAYER), OVRA_NO_UNUSED_PORT);
  EXPECT_EQ(Ovra_OpenStream(&refused, nullptr, 0, 1024, OVRA_MEDIA_3GPP), OVRA_NO_UNUSED_PORT);
  EXPECT_EQ(refused, -77) << "a refused open wrote a port number";

  // A number given back is the one the next open receives.
  const size_t middle = ports.size() / 2;
  const int32_t given_back = ports[middle];
  ASSERT_EQ(streams[middle] ? Ovra_CloseStream(given_back) : Ovra_CloseFile(given_back), OVRA_OK);
  int32_t again = -1;
  ASSERT_EQ(Ovra_OpenFile(&again, file.c_str()), OVRA_OK);
  EXPECT_EQ(again, given_back);
  streams[middle] = false;
  for (size_t i = 0; i < ports.size(); ++i) {
    EXPECT_EQ(streams[i] ? Ovra_CloseStream(ports[i]) : Ovra_CloseFile(ports[i]), OVRA_OK)
        << ports[i];
  }
}

// Open, play and close, alternately a file and a live stream, thousands of
// times (every 50th waits for a decoded frame): the process ends with the
// descriptors and threads it had before.
TEST(PortTableStressTest, OpenPlayCloseCyclesLeaveNoDescriptorsOrThreadsBehind) {
  const DeadlockWatchdog watchdog("open, play and close cycles", 55s);
  const std::string file = Clip("mp4");
  const std::vector<uint8_t> stream = ReadBytes(Clip("ts"));
  const int cycles = Scaled(2000, 300);
  ResetFrameCounts();
  int waited_for_frames = 0;
  const auto cycle = [&](int i) {
    const bool live = i % 2 == 1;
    int32_t port = -1;
    if (live) {
      ASSERT_EQ(Ovra_OpenStream(&port, stream.data(), 16 * 1024, 256 * 1024, OVRA_MEDIA_PLAYER),
                OVRA_OK);
      ASSERT_EQ(Ovra_InputData(port, stream.data() + 16 * 1024, 16 * 1024), OVRA_OK);
    } else {
      ASSERT_EQ(Ovra_OpenFile(&port, file.c_str()), OVRA_OK);
    }
    const bool wait = i % 50 == 0;
    if (wait) {
      ASSERT_EQ(Ovra_SetDecodeCallback(port, CountingCallback, 0), OVRA_OK);
    }
    ASSERT_EQ(Ovra_Play(port, nullptr), OVRA_OK);
    if (wait) {
      const int before = FramesOf(port);
      EXPECT_TRUE(WaitFor([&] { return FramesOf(port) > before; })) << "cycle " << i;
      ++waited_for_frames;
      ASSERT_EQ(Ovra_Stop(port), OVRA_OK);
    }
    ASSERT_EQ(live ? Ovra_CloseStream(port) : Ovra_CloseFile(port), OVRA_OK);
  };
  // The first opens set up what lives as long as the process (FFmpeg's
  // tables, the logger): not counted.
  for (int i = 0; i < 4; ++i) ASSERT_NO_FATAL_FAILURE(cycle(i));
  const int descriptors = OpenDescriptorCount();
  const int threads = ThreadCount();
  ASSERT_GT(descriptors, 0);
  ASSERT_GT(threads, 0);
  for (int i = 0; i < cycles; ++i) {
    ASSERT_NO_FATAL_FAILURE(cycle(i)) << "cycle " << i;
  }
  EXPECT_GT(waited_for_frames, 0);
  // Every close joined its port's threads; a bounded wait, not a timing.
  EXPECT_TRUE(WaitFor([&] { return ThreadCount() <= threads; }, 5s))
      << threads << " threads before, " << ThreadCount() << " after " << cycles << " cycles";
  EXPECT_TRUE(WaitFor([&] { return OpenDescriptorCount() <= descriptors; }, 5s))
      << descriptors << " descriptors before, " << OpenDescriptorCount() << " after";
}

}  // namespace
}  // namespace qxmedia_test
