// The decode gate's waits: a wait for another port's running callback
// happens unless it would close a cycle of waits, and then exactly one of
// the threads in the cycle gives way, so that none of them hangs.
#include "core/decode_gate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <ostream>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

void OVRA_CALLBACK Ignore(int32_t, const DecodeFrameInfo*, uintptr_t) {}

// Runs `body` on a thread of its own; a body that has not returned within
// the bound (a deadlock) ends the process with a message instead of hanging
// the test run.
void WithinBound(const char* what, const std::function<void()>& body) {
  std::promise<void> done;
  std::future<void> finished = done.get_future();
  std::thread runner([&] {
    body();
    done.set_value();
  });
  if (finished.wait_for(20s) != std::future_status::ready) {
    std::fprintf(stderr, "deadlock: %s did not finish\n", what);
    std::abort();
  }
  runner.join();
}

void SpinUntil(const std::function<bool()>& condition) {
  while (!condition()) std::this_thread::yield();
}

std::vector<std::unique_ptr<qx::DecodeGate>> GatesWithCallbacks(int count) {
  std::vector<std::unique_ptr<qx::DecodeGate>> gates;
  for (int i = 0; i < count; ++i) {
    gates.push_back(std::make_unique<qx::DecodeGate>());
    gates.back()->Replace(Ignore);
  }
  return gates;
}

struct WaitChain {
  const char* name;
  int threads;
  bool ring;  // the last thread waits for the first; otherwise it waits for nothing
  friend std::ostream& operator<<(std::ostream& out, const WaitChain& c) { return out << c.name; }
};

class DecodeGateChain : public ::testing::TestWithParam<WaitChain> {};

// Thread i runs a call of gate i and then stops gate i+1, waiting for the
// call running there. In a ring the last one's wait would close the cycle:
// exactly one thread returns without waiting and every other wait ends. In
// an open chain every thread waits until the end of the chain lets go.
TEST_P(DecodeGateChain, OnlyAWaitClosingACycleIsSkipped) {
  const WaitChain& chain = GetParam();
  const int n = chain.threads;
  const auto gates = GatesWithCallbacks(n);
  std::atomic<int> inside{0};
  std::atomic<int> about_to_wait{0};
  std::atomic<bool> end_left{false};
  std::vector<int> waited(static_cast<size_t>(n), -1);  // 1 waited, 0 gave way
  std::vector<int> saw_end_left(static_cast<size_t>(n), -1);
  WithinBound(chain.name, [&] {
    std::vector<std::thread> threads;
    for (int i = 0; i < n; ++i) {
      threads.emplace_back([&, i] {
        const std::optional<qx::DecodeGate::Delivery> delivery = gates[i]->Enter();
        ASSERT_TRUE(delivery.has_value());
        ++inside;
        SpinUntil([&] { return inside.load() == n; });
        const bool last = i == n - 1;
        if (last && !chain.ring) {
          // The end of the chain waits for nothing: it lets go once the
          // others are about to wait, and a little later, so that a wait
          // that returns too early is seen.
          SpinUntil([&] { return about_to_wait.load() == n - 1; });
          std::this_thread::sleep_for(50ms);
          end_left = true;
          gates[i]->Leave();
          return;
        }
        qx::DecodeGate& next = *gates[(i + 1) % n];
        next.Clear();
        ++about_to_wait;
        waited[i] = next.WaitForRetired() ? 1 : 0;
        saw_end_left[i] = end_left.load() ? 1 : 0;
        gates[i]->Leave();
      });
    }
    for (std::thread& thread : threads) thread.join();
  });
  const int waiting_threads = chain.ring ? n : n - 1;
  const auto gave_way = std::count(waited.begin(), waited.begin() + waiting_threads, 0);
  EXPECT_EQ(gave_way, chain.ring ? 1 : 0);
  EXPECT_EQ(std::count(waited.begin(), waited.begin() + waiting_threads, 1),
            waiting_threads - gave_way);
  if (!chain.ring) {
    for (int i = 0; i < waiting_threads; ++i) {
      EXPECT_EQ(saw_end_left[i], 1) << "thread " << i << " stopped waiting too early";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Chains, DecodeGateChain,
                         ::testing::Values(WaitChain{"TwoPortsStoppingEachOther", 2, true},
                                           WaitChain{"ThreePortsInARing", 3, true},
                                           WaitChain{"TwoPortsInALine", 2, false},
                                           WaitChain{"FourPortsInALine", 4, false}),
                         [](const ::testing::TestParamInfo<WaitChain>& case_info) {
                           return case_info.param.name;
                         });

// A callback stopping its own port: nothing else runs there, so the wait
// returns at once and the port takes no further call of the old callback.
TEST(DecodeGate, AStopFromTheOwnCallbackDoesNotWaitForItself) {
  const auto gates = GatesWithCallbacks(1);
  WithinBound("a callback stopping its own port", [&] {
    ASSERT_TRUE(gates[0]->Enter().has_value());
    gates[0]->Clear();
    EXPECT_TRUE(gates[0]->WaitForRetired());
    gates[0]->Leave();
  });
  EXPECT_FALSE(gates[0]->Enter().has_value());
}

// A frame delivered on a thread whose callback is waited for by the thread
// running the frame's port (an export delivering another port's frame
// synchronously): either that frame is dropped or the other thread gives
// way, never both, never neither.
TEST(DecodeGate, ANestedDeliveryClosingACycleGivesWayOnOneSide) {
  const auto gates = GatesWithCallbacks(2);
  std::atomic<int> inside{0};
  std::atomic<bool> second_about_to_wait{false};
  std::atomic<bool> nested_delivered{false};
  std::atomic<int> second_waited{-1};
  WithinBound("a nested delivery against a wait", [&] {
    std::thread first([&] {
      ASSERT_TRUE(gates[0]->Enter().has_value());
      ++inside;
      SpinUntil([&] { return second_about_to_wait.load(); });
      std::this_thread::sleep_for(20ms);
      const std::optional<qx::DecodeGate::Delivery> nested = gates[1]->Enter();
      nested_delivered = nested.has_value();
      if (nested) gates[1]->Leave();
      gates[0]->Leave();
    });
    std::thread second([&] {
      ASSERT_TRUE(gates[1]->Enter().has_value());
      SpinUntil([&] { return inside.load() == 1; });
      gates[0]->Clear();
      second_about_to_wait = true;
      second_waited = gates[0]->WaitForRetired() ? 1 : 0;
      gates[1]->Leave();
    });
    first.join();
    second.join();
  });
  EXPECT_NE(nested_delivered.load(), second_waited.load() == 1)
      << "delivered: " << nested_delivered.load() << ", waited: " << second_waited.load();
}

}  // namespace
