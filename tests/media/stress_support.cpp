#include "tests/media/stress_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "qxplaysdk.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QX_STRESS_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QX_STRESS_UNDER_SANITIZER 1
#endif
#endif

namespace qxmedia_test {

namespace {

int EntriesOf(const char* folder) {
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  if (error) return -1;
  return static_cast<int>(std::distance(entries, std::filesystem::directory_iterator()));
}

constexpr int32_t kPortNumbers = 98;
std::array<std::atomic<int>, kPortNumbers> frame_counts{};

}  // namespace

int OpenDescriptorCount() {
  // The directory's own descriptor is open while it is read: not counted.
  return EntriesOf("/proc/self/fd") - 1;
}

int ThreadCount() { return EntriesOf("/proc/self/task"); }

size_t ResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) {
      return static_cast<size_t>(std::strtoull(line.c_str() + 6, nullptr, 10)) * 1024;
    }
  }
  ADD_FAILURE() << "no VmRSS in /proc/self/status";
  return 0;
}

bool UnderSanitizer() {
#if defined(QX_STRESS_UNDER_SANITIZER)
  return true;
#else
  return false;
#endif
}

int Scaled(int normal, int sanitized) { return UnderSanitizer() ? sanitized : normal; }

bool FeedThroughLibrary(int32_t port, const std::vector<uint8_t>& bytes, size_t from, size_t to,
                        size_t block) {
  for (size_t at = from; at < to;) {
    const auto length = static_cast<uint32_t>(std::min(block, to - at));
    const int32_t result = Ovra_InputData(port, bytes.data() + at, length);
    if (result == OVRA_OK) {
      at += length;
    } else if (result == OVRA_PLAYSDK_ERROR || result == OVRA_3GPPSDK_ERROR) {
      std::this_thread::yield();  // full for now
    } else {
      ADD_FAILURE() << "Ovra_InputData answered " << result;
      return false;
    }
  }
  return true;
}

void ResetFrameCounts() {
  for (std::atomic<int>& count : frame_counts) count = 0;
}

int FramesOf(int32_t port) { return frame_counts.at(static_cast<size_t>(port)).load(); }

void CountFrame(int32_t port) {
  if (port >= 0 && port < kPortNumbers) ++frame_counts[static_cast<size_t>(port)];
}

}  // namespace qxmedia_test
