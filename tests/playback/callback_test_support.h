// Helpers shared by the tests of the caller's notification functions:
// opening ports and logging what reaches a caller's function.
#ifndef QXPLAYSDK_TESTS_PLAYBACK_CALLBACK_TEST_SUPPORT_H
#define QXPLAYSDK_TESTS_PLAYBACK_CALLBACK_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "backends/player.h"
#include "qxplaysdk.h"
#include "tests/playback/open_ports.h"

namespace qxtest {

// What a decode callback received for one frame.
struct ReceivedFrame {
  int32_t port = 0;
  DecodeFrameInfo info{};
  uintptr_t user = 0;
};

// A log of frames, handed to the library as the decode callback's user data
// so that the callback finds it again.
class FrameLog {
 public:
  uintptr_t AsUser() { return reinterpret_cast<uintptr_t>(this); }

  void Add(const ReceivedFrame& frame) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      frames_.push_back(frame);
    }
    changed_.notify_all();
  }

  std::vector<ReceivedFrame> Frames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
  }

  std::vector<uint32_t> Sequences() const {
    std::vector<uint32_t> sequences;
    for (const ReceivedFrame& frame : Frames()) {
      sequences.push_back(frame.info.sequence);
    }
    return sequences;
  }

  std::size_t Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_.size();
  }

  // Waits until at least `count` frames arrived; false after a generous
  // bound, which only a hang reaches.
  bool WaitForCount(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20),
                             [&] { return frames_.size() >= count; });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<ReceivedFrame> frames_;
};

// A decode callback that logs into the FrameLog given as user data.
inline void OVRA_CALLBACK LogFrame(int32_t port, const DecodeFrameInfo* info, uintptr_t user) {
  reinterpret_cast<FrameLog*>(user)->Add(ReceivedFrame{port, *info, user});
}

// A frame description whose words are all different.
inline PlayerFrameInfo SomeFrame() { return PlayerFrameInfo{0xA1, 0xB2, 0xC3, 0xD4, 0xE5}; }

}  // namespace qxtest

#endif  // QXPLAYSDK_TESTS_PLAYBACK_CALLBACK_TEST_SUPPORT_H
