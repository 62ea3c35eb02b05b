// Notifications against stops, closes and jumps, through libqxplaysdk.so on
// the real backends: no notification of any kind begins after Ovra_Stop or
// Ovra_CloseFile has returned, ports whose notifications act on each other
// (jumping, stopping or closing each other) never deadlock, and a stop made
// from a callback still waits for the other port's running callback when
// that callback waits for nothing of the caller's.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "qxplaysdk.h"
#include "tests/media/deadlock_watchdog.h"
#include "tests/media/media_test_support.h"

namespace qxmedia_test {
namespace {

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

// A newly opened port's watch, cleared of what an earlier port of that
// number left; the port number, or a negative one as given.
int32_t WatchedFromNow(int32_t port) {
  if (port < 0) return port;
  PortWatch& watch = Watch(port);
  watch.closed = false;
  watch.frames = 0;
  watch.late = 0;
  watch.close_at_frame = -1;
  return port;
}

int32_t OpenWatchedFile(const std::string& clip) {
  int32_t port = -1;
  EXPECT_EQ(Ovra_OpenFile(&port, clip.c_str()), OVRA_OK);
  return WatchedFromNow(port);
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

// Under the sanitizers every frame costs many times more: fewer rounds, each
// as complete as the others.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kCrossRounds = 6;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr int kCrossRounds = 6;
#else
constexpr int kCrossRounds = 30;
#endif
#else
constexpr int kCrossRounds = 30;
#endif

enum class CrossAction { kStop, kClose };

struct CrossCase {
  const char* name;
  CrossAction first;   // what the first port's callback does to the second
  CrossAction second;  // and the second's to the first
  bool streams;        // live streams (closed with Ovra_CloseStream) or files
  friend std::ostream& operator<<(std::ostream& out, const CrossCase& c) { return out << c.name; }
};

// One port of a pair that ends its partner from its own decode callback.
struct CrossPort {
  int32_t port = -1;
  int32_t partner = -1;
  CrossAction action = CrossAction::kStop;
  bool stream = false;
  std::atomic<bool> acted{false};
  std::atomic<int32_t> result{1};  // what the call on the partner answered
  std::atomic<bool> done{false};
};
std::array<CrossPort, 2> cross;
std::atomic<int> cross_arrivals{0};

CrossPort& CrossOf(int32_t port) { return cross[0].port == port ? cross[0] : cross[1]; }

void OVRA_CALLBACK EndThePartner(int32_t port, const DecodeFrameInfo*, uintptr_t) {
  NoteNotification(port);
  CrossPort& self = CrossOf(port);
  if (self.acted.exchange(true)) return;
  // Both callbacks meet before either acts, so that each call is made while
  // the partner's callback runs (bounded: a partner that never comes only
  // makes the round weaker, the checks below still hold).
  cross_arrivals.fetch_add(1);
  WaitFor([] { return cross_arrivals.load() >= 2; }, std::chrono::seconds(2));
  int32_t result = OVRA_OK;
  if (self.action == CrossAction::kStop) {
    result = Ovra_Stop(self.partner);
  } else {
    result = self.stream ? Ovra_CloseStream(self.partner) : Ovra_CloseFile(self.partner);
  }
  // From here on nothing of the partner may begin.
  Watch(self.partner).closed = true;
  self.result = result;
  self.done = true;
}

class CrossEndingTest : public ::testing::TestWithParam<CrossCase> {};

int32_t OpenWatchedStream() {
  int32_t port = -1;
  EXPECT_EQ(Ovra_OpenStream(&port, nullptr, 0, 1024 * 1024, OVRA_MEDIA_PLAYER), OVRA_OK);
  return WatchedFromNow(port);
}

// Pushes the clip into both live ports, block by block, until both
// callbacks have acted or the clip is through. A port closed meanwhile
// answers OVRA_PARAM_ERROR and is fed no more; a full buffer refuses the
// block, which is offered again.
void FeedBoth(const int32_t (&ports)[2], const std::vector<uint8_t>& bytes) {
  constexpr size_t kBlock = 4096;
  size_t at[2] = {0, 0};
  bool fed[2] = {false, false};
  while (!(cross[0].done.load() && cross[1].done.load()) && !(fed[0] && fed[1])) {
    for (int i = 0; i < 2; ++i) {
      if (fed[i]) continue;
      const auto length = static_cast<uint32_t>(std::min(kBlock, bytes.size() - at[i]));
      const int32_t result = Ovra_InputData(ports[i], bytes.data() + at[i], length);
      if (result == OVRA_OK) at[i] += length;
      if (result == OVRA_PARAM_ERROR || at[i] == bytes.size()) fed[i] = true;
      EXPECT_TRUE(result == OVRA_OK || result == OVRA_PLAYSDK_ERROR || result == OVRA_PARAM_ERROR)
          << result;
    }
    std::this_thread::yield();
  }
}

// Port A's decode callback stops or closes port B while B's stops or closes
// A: neither call may wait for the other's callback, both succeed, and no
// notification of either port begins once it was ended.
TEST_P(CrossEndingTest, TwoPortsEndingEachOtherFromDecodeCallbacksDoNotDeadlock) {
  const CrossCase& c = GetParam();
  const DeadlockWatchdog watchdog("two ports ending each other", std::chrono::seconds(50));
  const std::string clip = Clip(c.streams ? "ts" : "mp4");
  const std::vector<uint8_t> bytes = c.streams ? ReadBytes(clip) : std::vector<uint8_t>{};
  int late = 0;
  for (int round = 0; round < kCrossRounds; ++round) {
    SCOPED_TRACE(round);
    const int32_t first = c.streams ? OpenWatchedStream() : OpenWatchedFile(clip);
    const int32_t second = c.streams ? OpenWatchedStream() : OpenWatchedFile(clip);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    cross_arrivals = 0;
    const CrossAction actions[2] = {c.first, c.second};
    const int32_t ports[2] = {first, second};
    for (int i = 0; i < 2; ++i) {
      cross[i].port = ports[i];
      cross[i].partner = ports[1 - i];
      cross[i].action = actions[i];
      cross[i].stream = c.streams;
      cross[i].acted = false;
      cross[i].result = 1;
      cross[i].done = false;
    }
    for (const int32_t port : ports) {
      ASSERT_EQ(Ovra_RegisterDrawFun(port, OnDraw, 0), OVRA_OK);
      ASSERT_EQ(Ovra_SetDecodeCallback(port, EndThePartner, 0), OVRA_OK);
    }
    for (const int32_t port : ports) ASSERT_EQ(Ovra_Play(port, nullptr), OVRA_OK);
    if (c.streams) FeedBoth(ports, bytes);
    ASSERT_TRUE(WaitFor([] { return cross[0].done.load() && cross[1].done.load(); },
                        std::chrono::seconds(20)));
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(cross[i].result.load(), OVRA_OK) << "port " << ports[i] << " ending its partner";
    }
    // A closed port is free again; a stopped one is still open and closes.
    for (int i = 0; i < 2; ++i) {
      const bool closed_by_partner = actions[1 - i] == CrossAction::kClose;
      const int32_t closed = c.streams ? Ovra_CloseStream(ports[i]) : Ovra_CloseFile(ports[i]);
      EXPECT_EQ(closed, closed_by_partner ? OVRA_PARAM_ERROR : OVRA_OK);
    }
    late += Watch(first).late.load() + Watch(second).late.load();
  }
  EXPECT_EQ(late, 0) << "notifications begun after their port was stopped or closed";
}

INSTANTIATE_TEST_SUITE_P(
    Actions, CrossEndingTest,
    ::testing::Values(
        CrossCase{"FilesStopAndStop", CrossAction::kStop, CrossAction::kStop, false},
        CrossCase{"FilesCloseAndClose", CrossAction::kClose, CrossAction::kClose, false},
        CrossCase{"FilesStopAndClose", CrossAction::kStop, CrossAction::kClose, false},
        CrossCase{"StreamsStopAndStop", CrossAction::kStop, CrossAction::kStop, true},
        CrossCase{"StreamsCloseAndClose", CrossAction::kClose, CrossAction::kClose, true},
        CrossCase{"StreamsStopAndClose", CrossAction::kStop, CrossAction::kClose, true}),
    [](const ::testing::TestParamInfo<CrossCase>& case_info) { return case_info.param.name; });

// What the stopped port's callback and the stopping one saw.
struct BusyPair {
  std::atomic<int32_t> busy_port{-1};
  std::atomic<bool> inside{false};         // the busy callback has begun
  std::atomic<bool> about_to_stop{false};  // the other callback calls Ovra_Stop now
  std::atomic<bool> returned{false};       // the busy callback has returned
  std::atomic<bool> stopper_done{false};
  std::atomic<bool> stop_returned_after_busy_callback{false};
  std::atomic<int32_t> stop_result{1};
};
BusyPair pair;

void OVRA_CALLBACK StayBusy(int32_t, const DecodeFrameInfo*, uintptr_t) {
  if (pair.inside.exchange(true)) return;
  // Runs on until the other port's callback is about to stop this port, and
  // a while longer, so that a stop that does not wait returns before this
  // callback does. It acts on nothing of the other port's.
  WaitFor([] { return pair.about_to_stop.load(); }, std::chrono::seconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  pair.returned = true;
}

void OVRA_CALLBACK StopTheBusyPort(int32_t, const DecodeFrameInfo*, uintptr_t) {
  if (pair.stopper_done.load() || !pair.inside.load()) return;
  pair.about_to_stop = true;
  pair.stop_result = Ovra_Stop(pair.busy_port.load());
  pair.stop_returned_after_busy_callback = pair.returned.load();
  pair.stopper_done = true;
}

// No cycle of waits, so the promise holds from inside a callback too: the
// stop returns only once the other port's running decode callback has.
TEST(NotificationOrderTest, AStopFromACallbackWaitsForTheOtherPortsRunningCallback) {
  const DeadlockWatchdog watchdog("a stop waiting for another port's callback",
                                  std::chrono::seconds(30));
  const std::string clip = Clip("long");
  const int32_t waiting = OpenWatchedFile(clip);
  const int32_t stopper = OpenWatchedFile(clip);
  ASSERT_GE(waiting, 0);
  ASSERT_GE(stopper, 0);
  pair.busy_port = waiting;
  ASSERT_EQ(Ovra_SetDecodeCallback(waiting, StayBusy, 0), OVRA_OK);
  ASSERT_EQ(Ovra_SetDecodeCallback(stopper, StopTheBusyPort, 0), OVRA_OK);
  ASSERT_EQ(Ovra_Play(waiting, nullptr), OVRA_OK);
  ASSERT_TRUE(WaitFor([] { return pair.inside.load(); }));
  ASSERT_EQ(Ovra_Play(stopper, nullptr), OVRA_OK);
  ASSERT_TRUE(WaitFor([] { return pair.stopper_done.load(); }, std::chrono::seconds(20)));
  EXPECT_EQ(pair.stop_result.load(), OVRA_OK);
  EXPECT_TRUE(pair.stop_returned_after_busy_callback.load())
      << "Ovra_Stop returned while the stopped port's decode callback still ran";
  EXPECT_EQ(Ovra_Stop(stopper), OVRA_OK);
  for (const int32_t port : {waiting, stopper}) EXPECT_EQ(Ovra_CloseFile(port), OVRA_OK);
}

}  // namespace
}  // namespace qxmedia_test
