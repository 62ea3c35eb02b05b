#include "core/port_table.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <set>
#include <thread>
#include <vector>

#include "tests/support/library_test.h"

namespace {

using PortTable = qxtest::LibraryTest;

int32_t TakeLocal() {
  int32_t port = -100;
  EXPECT_EQ(qx::TakeLocalPort(&port), 0);
  return port;
}

int32_t TakeRemote() {
  int32_t slot = -100;
  EXPECT_EQ(qx::TakeRemoteSlot(&slot), 0);
  return slot;
}

TEST_F(PortTable, EverySlotHasItsDefaultsAfterAttach) {
  for (int32_t port = 0; port < qx::kPortCount; ++port) {
    SCOPED_TRACE(port);
    EXPECT_EQ(qx::GetSlotState(port), 1);
    EXPECT_EQ(qx::GetSourceMode(port), 0);
    EXPECT_EQ(qx::GetMediaType(port), 2);
    EXPECT_EQ(qx::GetRecordingFlag(port), 0);
    EXPECT_EQ(qx::GetPlaySpeed(port), 4.0F);
  }
}

TEST_F(PortTable, LocalPortsAreHandedOutLowestFirstUntilExhausted) {
  for (int32_t expected = 33; expected <= 97; ++expected) {
    EXPECT_EQ(TakeLocal(), expected);
  }
  int32_t port = -100;
  EXPECT_EQ(qx::TakeLocalPort(&port), -1);
  EXPECT_EQ(port, -100) << "nothing is stored when no port is free";
  // The remote pool is untouched.
  EXPECT_EQ(TakeRemote(), 0);
}

TEST_F(PortTable, RemoteSlotsAreHandedOutLowestFirstUntilExhausted) {
  for (int32_t expected = 0; expected <= 32; ++expected) {
    EXPECT_EQ(TakeRemote(), expected);
  }
  int32_t slot = -100;
  EXPECT_EQ(qx::TakeRemoteSlot(&slot), -1);
  EXPECT_EQ(slot, -100);
  EXPECT_EQ(TakeLocal(), 33);
}

TEST_F(PortTable, BothPoolsCanBeFullAtOnce) {
  for (int32_t i = 0; i < 65; ++i) {
    TakeLocal();
  }
  for (int32_t i = 0; i < 33; ++i) {
    TakeRemote();
  }
  for (int32_t port = 0; port < qx::kPortCount; ++port) {
    EXPECT_EQ(qx::GetSlotState(port), 0) << port;
  }
}

TEST_F(PortTable, AReleasedNumberIsTheNextHandedOut) {
  EXPECT_EQ(TakeLocal(), 33);
  EXPECT_EQ(TakeLocal(), 34);
  EXPECT_EQ(TakeLocal(), 35);
  EXPECT_EQ(qx::ReleaseLocalPort(34), 0);
  EXPECT_EQ(TakeLocal(), 34);
  EXPECT_EQ(TakeLocal(), 36);

  for (int32_t i = 0; i <= 10; ++i) {
    TakeRemote();
  }
  EXPECT_EQ(qx::ReleaseRemoteSlot(3), 0);
  EXPECT_EQ(TakeRemote(), 3);
}

TEST_F(PortTable, ReleaseRefusesNumbersOutsideItsPoolAndFreeSlots) {
  const int32_t local = TakeLocal();
  const int32_t remote = TakeRemote();

  struct Case {
    int32_t (*release)(int32_t);
    int32_t port;
  };
  const Case refused[] = {
      {qx::ReleaseLocalPort, remote},  // a taken slot of the other pool
      {qx::ReleaseLocalPort, 32},     {qx::ReleaseLocalPort, 98},  {qx::ReleaseLocalPort, 99},
      {qx::ReleaseLocalPort, -1},     {qx::ReleaseLocalPort, 34},  // free
      {qx::ReleaseRemoteSlot, local}, {qx::ReleaseRemoteSlot, 33}, {qx::ReleaseRemoteSlot, -1},
      {qx::ReleaseRemoteSlot, 1},  // free
  };
  for (const Case& c : refused) {
    SCOPED_TRACE(c.port);
    EXPECT_EQ(c.release(c.port), -2);
  }
  EXPECT_EQ(qx::GetSlotState(local), 0);
  EXPECT_EQ(qx::GetSlotState(remote), 0);

  EXPECT_EQ(qx::ReleaseLocalPort(local), 0);
  EXPECT_EQ(qx::ReleaseLocalPort(local), -2) << "releasing twice";
  EXPECT_EQ(qx::GetSlotState(local), 1);
  EXPECT_EQ(qx::ReleaseRemoteSlot(remote), 0);
  EXPECT_EQ(qx::ReleaseRemoteSlot(remote), -2);
}

TEST_F(PortTable, TakeAndReleaseChangeOnlyTheSlotState) {
  const int32_t port = TakeLocal();
  qx::SetSourceMode(port, 1);
  qx::SetMediaType(port, 1);
  qx::SetRecordingFlag(port, 1);
  qx::SetPlaySpeed(port, 2.0F);
  ASSERT_EQ(qx::ReleaseLocalPort(port), 0);
  EXPECT_EQ(TakeLocal(), port);
  EXPECT_EQ(qx::GetSourceMode(port), 1);
  EXPECT_EQ(qx::GetMediaType(port), 1);
  EXPECT_EQ(qx::GetRecordingFlag(port), 1);
  EXPECT_EQ(qx::GetPlaySpeed(port), 2.0F);
}

TEST_F(PortTable, TheLocalPortCheckRefusesRangeAndFreePorts) {
  const int32_t port = TakeLocal();
  EXPECT_EQ(qx::CheckLocalPort(port), 0);
  for (int32_t refused : {-1, 0, 32, 34, 97, 98, 99, 100, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(qx::CheckLocalPort(refused), -2) << refused;
  }
}

TEST_F(PortTable, TheTableLockIsReentrantForItsHolder) {
  qx::SectionGuard outer(&qx::TableLock());
  // Take enters the table lock again, and so does its setter.
  EXPECT_EQ(TakeLocal(), 33);
  EXPECT_EQ(qx::GetSlotState(33), 0);
}

TEST_F(PortTable, NoTwoPortLocksShareACacheLine) {
  // Decode threads of different ports take their ports' locks for every
  // frame; locks sharing a line would slow each other down.
  std::set<uintptr_t> lines;
  for (int32_t port = 0; port < qx::kPortCount; ++port) {
    SCOPED_TRACE(port);
    const auto start = reinterpret_cast<uintptr_t>(&qx::PortLock(port));
    const uintptr_t first = start / qx::kCacheLineSize;
    const uintptr_t last = (start + sizeof(qx::SectionLock) - 1) / qx::kCacheLineSize;
    for (uintptr_t line = first; line <= last; ++line) {
      EXPECT_TRUE(lines.insert(line).second);
    }
  }
}

TEST_F(PortTable, ThreadsTakingAndReleasingNeverHoldTheSameNumber) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 2000;
  std::array<std::atomic<int>, qx::kPortCount> holders{};
  std::atomic<int> overlaps{0};
  std::atomic<int> exhausted{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int round = 0; round < kRounds; ++round) {
        int32_t port = -1;
        if (qx::TakeLocalPort(&port) != 0) {
          ++exhausted;
          continue;
        }
        if (holders[static_cast<std::size_t>(port)].fetch_add(1) != 0) {
          ++overlaps;
        }
        holders[static_cast<std::size_t>(port)].fetch_sub(1);
        if (qx::ReleaseLocalPort(port) != 0) {
          ++overlaps;
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(exhausted.load(), 0) << "8 threads never need more than 65 ports";
  for (int32_t port = 33; port <= 97; ++port) {
    EXPECT_EQ(qx::GetSlotState(port), 1) << port;
  }
}

}  // namespace
