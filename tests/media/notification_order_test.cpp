// Notifications against stops, closes and jumps, through libqxplaysdk.so on
// the real backends: no notification of any kind begins after Ovra_Stop or
// Ovra_CloseFile has returned, and ports whose notifications act on each
// other never deadlock.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "qxplaysdk.h"
#include "tests/media/media_test_support.h"

namespace qxmedia_test {
namespace {

// Ends the process with a message when the test has not finished within its
// bound: a deadlock fails the test instead of hanging it until ctest's limit.
class DeadlockWatchdog {
 public:
  DeadlockWatchdog(const char* what, std::chrono::seconds bound)
      : thread_([this, what, bound] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!finished_.wait_for(lock, bound, [this] { return done_; })) {
            std::fprintf(stderr, "deadlock: %s did not finish within %llds\n", what,
                         static_cast<long long>(bound.count()));
            std::abort();
          }
        }) {}
  ~DeadlockWatchdog() {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      done_ = true;
    }
    finished_.notify_all();
    thread_.join();
  }
  DeadlockWatchdog(const DeadlockWatchdog&) = delete;
  DeadlockWatchdog& operator=(const DeadlockWatchdog&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable finished_;
  bool done_ = false;
  std::thread thread_;
};

// What the notifications of each port number saw. Indexed by port number.
struct PortWatch {
  std::atomic<bool> closed{false};  // set once Ovra_Stop/Ovra_CloseFile returned
  std::atomic<int> frames{0};
  std::atomic<int> late{0};  // notifications begun after `closed`
  std::atomic<int> close_at_frame{-1};
  std::atomic<int32_t> partner{-1};
};
constexpr int32_t kPortNumbers = 98;  // remote slots and local ports
std::array<PortWatch, kPortNumbers> watches;

PortWatch& Watch(int32_t port) { return watches.at(static_cast<size_t>(port)); }

void NoteNotification(int32_t port) {
  if (port < 0 || port >= kPortNumbers) return;
  if (Watch(port).closed.load()) ++Watch(port).late;
}

void OVRA_CALLBACK OnDraw(int32_t port, uintptr_t, uintptr_t) { NoteNotification(port); }
void OVRA_CALLBACK OnFileEnd(int32_t port, uintptr_t) { NoteNotification(port); }

void OVRA_CALLBACK OnDecode(int32_t port, const DecodeFrameInfo*, uintptr_t) {
  NoteNotification(port);
  PortWatch& watch = Watch(port);
  const int frame = watch.frames++;
  if (frame == watch.close_at_frame.load()) {
    // Closed from the port's own decode callback: from here on nothing of
    // this port may begin, not even this frame's draw notification.
    EXPECT_EQ(Ovra_CloseFile(port), OVRA_OK);
    watch.closed = true;
  }
}

void OVRA_CALLBACK JumpPartner(int32_t port, const DecodeFrameInfo*, uintptr_t) {
  PortWatch& watch = Watch(port);
  ++watch.frames;
  // Back and forth inside the first key frame's group.
  EXPECT_EQ(Ovra_SetCurrentFrameNum(watch.partner.load(), watch.frames % 10), OVRA_OK);
}

int32_t OpenWatchedFile(const std::string& clip) {
  int32_t port = -1;
  EXPECT_EQ(Ovra_OpenFile(&port, clip.c_str()), OVRA_OK);
  if (port < 0) return port;
  PortWatch& watch = Watch(port);
  watch.closed = false;
  watch.frames = 0;
  watch.late = 0;
  watch.close_at_frame = -1;
  return port;
}

enum class Ending { kStop, kCloseFile, kCloseFromOwnDecodeCallback };

struct EndingCase {
  Ending ending;
  const char* name;
};

// 60 cycles of each ending, with every kind of notification set; the jump
// near the end makes some cycles end while the file-end notification runs.
TEST(NotificationOrderTest, NoNotificationBeginsAfterStopOrCloseReturned) {
  const DeadlockWatchdog watchdog("the stop and close cycles", std::chrono::seconds(150));
  const std::string clip = Clip("mp4");
  const EndingCase cases[] = {{Ending::kStop, "stop"},
                              {Ending::kCloseFile, "close"},
                              {Ending::kCloseFromOwnDecodeCallback, "close from decode callback"}};
  for (const EndingCase& ending : cases) {
    SCOPED_TRACE(ending.name);
    int late = 0;
    for (int cycle = 0; cycle < 60; ++cycle) {
      const int32_t port = OpenWatchedFile(clip);
      ASSERT_GE(port, 0);
      PortWatch& watch = Watch(port);
      if (ending.ending == Ending::kCloseFromOwnDecodeCallback) watch.close_at_frame = 1;
      ASSERT_EQ(Ovra_RegisterDrawFun(port, OnDraw, 0), OVRA_OK);
      ASSERT_EQ(Ovra_SetFileEndCallback(port, OnFileEnd, 0), OVRA_OK);
      ASSERT_EQ(Ovra_SetDecodeCallback(port, OnDecode, 0), OVRA_OK);
      ASSERT_EQ(Ovra_Play(port, nullptr), OVRA_OK);
      if (cycle % 2 == 1 && ending.ending != Ending::kCloseFromOwnDecodeCallback) {
        ASSERT_EQ(Ovra_SetCurrentFrameNum(port, 48), OVRA_OK);
      }
      ASSERT_TRUE(WaitFor([&] { return watch.frames.load() >= 2 || watch.closed.load(); }));
      switch (ending.ending) {
        case Ending::kStop:
          EXPECT_EQ(Ovra_Stop(port), OVRA_OK);
          watch.closed = true;
          EXPECT_EQ(Ovra_CloseFile(port), OVRA_OK);
          break;
        case Ending::kCloseFile:
          EXPECT_EQ(Ovra_CloseFile(port), OVRA_OK);
          watch.closed = true;
          break;
        case Ending::kCloseFromOwnDecodeCallback:
          ASSERT_TRUE(WaitFor([&] { return watch.closed.load(); }));
          break;
      }
      late += watch.late.load();
    }
    EXPECT_EQ(late, 0) << "notifications begun after the port was stopped or closed";
  }
}

// Two ports whose decode callbacks jump each other: each jump is queued
// while the other port's thread may be inside its own callback jumping back.
TEST(NotificationOrderTest, PortsJumpingEachOtherFromDecodeCallbacksDoNotDeadlock) {
  const DeadlockWatchdog watchdog("two ports jumping each other", std::chrono::seconds(60));
  const std::string clip = Clip("mp4");
  const int32_t first = OpenWatchedFile(clip);
  const int32_t second = OpenWatchedFile(clip);
  ASSERT_GE(first, 0);
  ASSERT_GE(second, 0);
  Watch(first).partner = second;
  Watch(second).partner = first;
  for (const int32_t port : {first, second}) {
    ASSERT_EQ(Ovra_SetDecodeCallback(port, JumpPartner, 0), OVRA_OK);
    ASSERT_EQ(Ovra_Play(port, nullptr), OVRA_OK);
  }
  // Jumps land on frames at once, so frames keep coming on both ports.
  EXPECT_TRUE(WaitFor([&] { return Watch(first).frames >= 200 && Watch(second).frames >= 200; },
                      std::chrono::seconds(40)));
  // Both stop before either closes: a callback running on one may still
  // jump the other.
  for (const int32_t port : {first, second}) EXPECT_EQ(Ovra_Stop(port), OVRA_OK);
  for (const int32_t port : {first, second}) EXPECT_EQ(Ovra_CloseFile(port), OVRA_OK);
}

}  // namespace
}  // namespace qxmedia_test
