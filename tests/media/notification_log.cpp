#include "tests/media/notification_log.h"

#include <chrono>
#include <thread>

namespace qxmedia_test {

void NotificationLog::Register(int32_t port) {
  const auto self = reinterpret_cast<uintptr_t>(this);
  player_set_decode_callback(port, &NotificationLog::OnDecode, self);
  player_set_draw_callback(port, &NotificationLog::OnDraw, self);
  player_set_file_end_callback(port, &NotificationLog::OnFileEnd, self);
}

void NotificationLog::OnDecode(int32_t port, uintptr_t picture, uintptr_t size,
                               const PlayerFrameInfo* info, uintptr_t user, uintptr_t number) {
  auto* log = reinterpret_cast<NotificationLog*>(user);
  DecodedRecord record;
  record.port = port;
  record.width = info->info_a;
  record.height = info->info_b;
  record.timestamp_ms = info->info_c;
  record.key = info->info_d;
  record.frame_rate = info->info_e;
  record.picture_size = size;
  record.frame_number = number;
  const auto* luma = reinterpret_cast<const uint8_t*>(picture);
  for (uint32_t x = 0; x < info->info_a; ++x) record.luma_sum += luma[x];
  if (int delay = log->decode_delay_ms.load(); delay > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  }
  std::lock_guard<std::mutex> guard(log->mutex_);
  log->decoded_.push_back(record);
}

void NotificationLog::OnDraw(int32_t /*port*/, uintptr_t window, uintptr_t user) {
  auto* log = reinterpret_cast<NotificationLog*>(user);
  log->last_draw_window_.store(window);
  log->draws_.fetch_add(1);
}

void NotificationLog::OnFileEnd(int32_t /*port*/, uintptr_t user) {
  reinterpret_cast<NotificationLog*>(user)->file_ends_.fetch_add(1);
}

}  // namespace qxmedia_test
