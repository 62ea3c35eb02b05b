// Decode callbacks running on the player's threads while the caller stops,
// re-registers or serves other ports. Every wait here is bounded; the bound
// only turns a hang into a failure and never decides an outcome.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <stdexcept>
#include <thread>

#include "tests/playback/callback_test_support.h"
#include "tests/support/library_test.h"

namespace {

using qxtest::FrameLog;
using qxtest::OpenStreamPort;
using qxtest::SomeFrame;

constexpr auto kHangBound = std::chrono::seconds(20);

template <typename Predicate>
bool WaitUntil(Predicate done) {
  const auto deadline = std::chrono::steady_clock::now() + kHangBound;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::yield();
  }
  return true;
}

// Runs `work` on a thread of its own and waits for it. A deadlocked thread
// cannot be joined, so a hang ends the test program with a message.
template <typename Work>
void RunOnOtherThread(const char* what, Work work) {
  std::promise<void> finished;
  std::future<void> done = finished.get_future();
  std::thread thread([&] {
    work();
    finished.set_value();
  });
  if (done.wait_for(kHangBound) != std::future_status::ready) {
    std::fprintf(stderr, "%s did not finish: deadlock\n", what);
    std::abort();
  }
  thread.join();
}

using DecodeConcurrency = qxtest::LibraryTest;

struct StopRace {
  std::atomic<bool> stop_returned{false};
  std::atomic<int> late_calls{0};
  std::atomic<int> frames{0};
};

void OVRA_CALLBACK FlagCallsAfterStop(int32_t, const DecodeFrameInfo*, uintptr_t user) {
  auto* race = reinterpret_cast<StopRace*>(user);
  if (race->stop_returned.load()) {
    race->late_calls.fetch_add(1);
  }
  race->frames.fetch_add(1);
  std::this_thread::yield();  // stay inside a little longer, so Stop meets a running callback
  if (race->stop_returned.load()) {
    race->late_calls.fetch_add(1);
  }
}

TEST_F(DecodeConcurrency, OldCallbackIsNeverCalledOnceStopHasReturned) {
  const int32_t port = OpenStreamPort(0);
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    StopRace race;
    ASSERT_EQ(Ovra_SetDecodeCallback(port, FlagCallsAfterStop, reinterpret_cast<uintptr_t>(&race)),
              0);
    std::atomic<bool> halt{false};
    std::atomic<int> fired{0};
    std::thread player([&] {
      while (!halt.load()) {
        fake::FireDecode(port, SomeFrame());
        fired.fetch_add(1);
      }
    });
    const bool delivering = WaitUntil([&] { return race.frames.load() >= 20; });
    EXPECT_TRUE(delivering);
    EXPECT_EQ(Ovra_Stop(port), 0);
    race.stop_returned.store(true);
    const int fired_at_stop = fired.load();
    EXPECT_TRUE(WaitUntil([&] { return fired.load() >= fired_at_stop + 200; }));
    halt.store(true);
    player.join();
    EXPECT_EQ(race.late_calls.load(), 0);
  }
}

struct Reentry {
  FrameLog* next = nullptr;
  std::atomic<int> calls{0};
  int32_t stop_result = 1;
  int32_t register_result = 1;
};

void OVRA_CALLBACK StopAndRegisterAgain(int32_t port, const DecodeFrameInfo*, uintptr_t user) {
  auto* reentry = reinterpret_cast<Reentry*>(user);
  reentry->calls.fetch_add(1);
  reentry->stop_result = Ovra_Stop(port);
  reentry->register_result =
      Ovra_SetDecodeCallback(port, qxtest::LogFrame, reentry->next->AsUser());
}

TEST_F(DecodeConcurrency, CallbackMayStopAndRegisterItsOwnPort) {
  const int32_t port = OpenStreamPort(0);
  FrameLog next;
  Reentry reentry;
  reentry.next = &next;
  ASSERT_EQ(
      Ovra_SetDecodeCallback(port, StopAndRegisterAgain, reinterpret_cast<uintptr_t>(&reentry)), 0);
  RunOnOtherThread("a decode callback stopping its own port", [&] {
    fake::FireDecode(port, SomeFrame());
    fake::FireDecode(port, SomeFrame());
  });
  EXPECT_EQ(reentry.calls.load(), 1);
  EXPECT_EQ(reentry.stop_result, 0);
  EXPECT_EQ(reentry.register_result, 0);
  EXPECT_EQ(fake::CallCount("player_stop"), 1U);
  EXPECT_EQ(next.Sequences(), (std::vector<uint32_t>{0})) << "the stop restarted the numbering";
}

struct Gate {
  std::atomic<bool> entered{false};
  std::atomic<bool> open{false};
};

void OVRA_CALLBACK HoldUntilOpened(int32_t, const DecodeFrameInfo*, uintptr_t user) {
  auto* gate = reinterpret_cast<Gate*>(user);
  gate->entered.store(true);
  WaitUntil([&] { return gate->open.load(); });
}

TEST_F(DecodeConcurrency, CallbacksOfDifferentPortsRunAtTheSameTime) {
  const int32_t held_port = OpenStreamPort(0);
  const int32_t free_port = OpenStreamPort(1);
  Gate gate;
  FrameLog log;
  ASSERT_EQ(Ovra_SetDecodeCallback(held_port, HoldUntilOpened, reinterpret_cast<uintptr_t>(&gate)),
            0);
  ASSERT_EQ(Ovra_SetDecodeCallback(free_port, qxtest::LogFrame, log.AsUser()), 0);

  std::thread held([&] { fake::FireDecode(held_port, SomeFrame()); });
  ASSERT_TRUE(WaitUntil([&] { return gate.entered.load(); }));
  std::thread other([&] {
    for (int i = 0; i < 3; ++i) {
      fake::FireDecode(free_port, SomeFrame());
    }
  });
  // Both threads are released whatever happened, so that they can be joined.
  const bool delivered_while_held = log.WaitForCount(3);
  const bool still_held = !gate.open.load();
  gate.open.store(true);
  held.join();
  other.join();
  EXPECT_TRUE(delivered_while_held);
  EXPECT_TRUE(still_held);
}

// Two ports whose callbacks act on each other, each delivered on a thread
// of its own: no lock of the library may be held across a callback, or each
// waits for the other.
struct CrossPort {
  int32_t other = -1;
  std::atomic<int> calls{0};
  std::atomic<int> failures{0};
  bool stop = false;  // Ovra_Stop on the other port instead of registering
};

CrossPort cross_ports[2];
// Both first calls meet inside their callbacks before either acts, so that
// the two are certain to overlap.
std::atomic<int> cross_port_arrivals{0};

void OVRA_CALLBACK ActOnTheOtherPort(int32_t, const DecodeFrameInfo*, uintptr_t user) {
  auto* self = reinterpret_cast<CrossPort*>(user);
  if (self->calls.fetch_add(1) == 0) {
    cross_port_arrivals.fetch_add(1);
    WaitUntil([] { return cross_port_arrivals.load() >= 2; });
  }
  CrossPort& peer = self == &cross_ports[0] ? cross_ports[1] : cross_ports[0];
  const int32_t result = self->stop ? Ovra_Stop(self->other)
                                    : Ovra_SetDecodeCallback(self->other, ActOnTheOtherPort,
                                                             reinterpret_cast<uintptr_t>(&peer));
  if (result != 0) self->failures.fetch_add(1);
}

TEST_F(DecodeConcurrency, CallbacksOfTwoPortsActingOnEachOtherDoNotDeadlock) {
  for (const bool stop : {false, true}) {
    SCOPED_TRACE(stop ? "Ovra_Stop" : "Ovra_SetDecodeCallback");
    const int32_t ports[2] = {OpenStreamPort(0), OpenStreamPort(0)};
    cross_port_arrivals.store(0);
    for (int i = 0; i < 2; ++i) {
      cross_ports[i].other = ports[1 - i];
      cross_ports[i].calls.store(0);
      cross_ports[i].failures.store(0);
      cross_ports[i].stop = stop;
      ASSERT_EQ(Ovra_SetDecodeCallback(ports[i], ActOnTheOtherPort,
                                       reinterpret_cast<uintptr_t>(&cross_ports[i])),
                0);
    }
    RunOnOtherThread("two ports' callbacks acting on each other", [&] {
      std::thread players[2];
      for (int i = 0; i < 2; ++i) {
        players[i] = std::thread([&, i] {
          for (int frame = 0; frame < 2000; ++frame) {
            fake::FireDecode(ports[i], SomeFrame());
          }
        });
      }
      for (std::thread& player : players) player.join();
    });
    EXPECT_EQ(cross_port_arrivals.load(), 2);
    EXPECT_EQ(cross_ports[0].failures.load() + cross_ports[1].failures.load(), 0);
    for (const int32_t port : ports) {
      EXPECT_EQ(Ovra_Stop(port), 0);
      EXPECT_EQ(Ovra_CloseStream(port), 0);
    }
  }
}

void OVRA_CALLBACK LogThenThrow(int32_t port, const DecodeFrameInfo* info, uintptr_t user) {
  qxtest::LogFrame(port, info, user);
  throw std::runtime_error("the caller's own failure");
}

void OVRA_CALLBACK ThrowingDraw(int32_t, uintptr_t, uintptr_t) {
  throw std::runtime_error("draw failure");
}

void OVRA_CALLBACK ThrowingFileEnd(int32_t, uintptr_t) {
  throw std::runtime_error("file-end failure");
}

TEST_F(DecodeConcurrency, ThrowingCallbackLeavesThePortLockFree) {
  const int32_t port = OpenStreamPort(0);
  FrameLog log;
  ASSERT_EQ(Ovra_SetDecodeCallback(port, LogThenThrow, log.AsUser()), 0);
  // The exception stays inside the library's trampoline: nothing is thrown
  // into the player.
  EXPECT_NO_THROW(fake::FireDecode(port, SomeFrame()));
  EXPECT_NO_THROW(fake::FireDecode(port, SomeFrame()));
  EXPECT_EQ(log.Sequences(), (std::vector<uint32_t>{0, 1}));

  // Were the lock still held by this thread, a stop from another thread
  // would never get it.
  int32_t stopped = 1;
  RunOnOtherThread("a stop after a throwing callback", [&] { stopped = Ovra_Stop(port); });
  EXPECT_EQ(stopped, 0);
}

TEST_F(DecodeConcurrency, ThrowingDrawAndFileEndFunctionsStayInsideTheLibrary) {
  int32_t port = -1;
  ASSERT_EQ(Ovra_OpenFile(&port, "clip.mp4"), 0);
  ASSERT_EQ(Ovra_RegisterDrawFun(port, ThrowingDraw, 0), 0);
  ASSERT_EQ(Ovra_SetFileEndCallback(port, ThrowingFileEnd, 0), 0);
  EXPECT_NO_THROW(fake::FireDraw(port, 1, 2));
  EXPECT_NO_THROW(fake::FireFileEnd(port, 3));
}

}  // namespace
