// Records the player library's notifications for the tests.
#ifndef QXPLAYSDK_TESTS_MEDIA_NOTIFICATION_LOG_H
#define QXPLAYSDK_TESTS_MEDIA_NOTIFICATION_LOG_H

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "backends/player.h"

namespace qxmedia_test {

struct DecodedRecord {
  int32_t port = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t timestamp_ms = 0;
  uint32_t key = 0;
  uint32_t frame_rate = 0;
  size_t picture_size = 0;
  uintptr_t frame_number = 0;
  uint32_t luma_sum = 0;  // of the first row, to see the picture was readable
};

class NotificationLog {
 public:
  std::vector<DecodedRecord> Decoded() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return decoded_;
  }
  size_t DecodedCount() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return decoded_.size();
  }
  int draws() const { return draws_.load(); }
  int file_ends() const { return file_ends_.load(); }
  uintptr_t last_draw_window() const { return last_draw_window_.load(); }

  // Registers the three notifications of `port` with this log as user data.
  void Register(int32_t port);

  static void QX_BACKEND_CALL OnDecode(int32_t port, uintptr_t picture, uintptr_t size,
                                       const PlayerFrameInfo* info, uintptr_t user,
                                       uintptr_t number);
  static void QX_BACKEND_CALL OnDraw(int32_t port, uintptr_t window, uintptr_t user);
  static void QX_BACKEND_CALL OnFileEnd(int32_t port, uintptr_t user);

  // Time each decode notification spends (to keep notifications in flight).
  std::atomic<int> decode_delay_ms{0};

 private:
  mutable std::mutex mutex_;
  std::vector<DecodedRecord> decoded_;
  std::atomic<int> draws_{0};
  std::atomic<int> file_ends_{0};
  std::atomic<uintptr_t> last_draw_window_{0};
};

}  // namespace qxmedia_test

#endif  // QXPLAYSDK_TESTS_MEDIA_NOTIFICATION_LOG_H
