#include "core/section_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// Enters the lock twice, starts a thread that wants it after leaving once,
// and checks that the thread stays out while one entry is still held.
// Clang's analysis does not model re-entrant locks, and entering twice is
// the point here.
void EnterTwiceLeaveOnce(qx::SectionLock& lock, std::atomic<bool>& other_entered,
                         std::thread& other) QX_NO_THREAD_SAFETY_ANALYSIS {
  qx::SectionGuard outer(&lock);
  {
    qx::SectionGuard inner(&lock);
    other = std::thread([&] {
      qx::SectionGuard guard(&lock);
      other_entered = true;
    });
  }
  // Still held once: the other thread cannot have entered.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(other_entered.load());
}

TEST(SectionLock, ExcludesAnotherThreadUntilEveryEntryIsLeft) {
  qx::SectionLock lock;
  std::atomic<bool> other_entered{false};
  std::thread other;
  EnterTwiceLeaveOnce(lock, other_entered, other);
  other.join();
  EXPECT_TRUE(other_entered.load());
}

TEST(SectionLock, GuardLeavesTheLockWhenAnExceptionPasses) {
  qx::SectionLock lock;
  try {
    qx::SectionGuard guard(&lock);
    throw 1;
  } catch (int) {
  }
  std::atomic<bool> entered{false};
  std::thread([&] {
    qx::SectionGuard guard(&lock);
    entered = true;
  }).join();
  EXPECT_TRUE(entered.load());
}

}  // namespace
