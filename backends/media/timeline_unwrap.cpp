#include "backends/media/timeline_unwrap.h"

namespace qx::media {

TimelineUnwrap::TimelineUnwrap(AVRational time_base)
    : back_limit_(av_rescale_q(AV_TIME_BASE, AVRational{1, AV_TIME_BASE}, time_base)) {
  if (back_limit_ <= 0) back_limit_ = 1;
}

int64_t TimelineUnwrap::Next(int64_t dts, int64_t pts) {
  const int64_t time = dts != AV_NOPTS_VALUE ? dts : pts;
  if (time == AV_NOPTS_VALUE) return offset_;
  int64_t moved = time + offset_;
  if (last_ != AV_NOPTS_VALUE) {
    if (moved < last_ - back_limit_) {
      offset_ = last_ + step_ - time;
      moved = last_ + step_;
      went_back_ = true;
      shifts_.push_back(offset_);
    } else if (moved > last_ && moved - last_ <= back_limit_) {
      step_ = moved - last_;
    }
  }
  last_ = moved;
  return offset_;
}

int64_t NearestPartShift(const std::vector<int64_t>& shifts, int64_t time, int64_t reference) {
  int64_t nearest = 0;
  uint64_t nearest_distance = UINT64_MAX;
  for (const int64_t shift : shifts) {
    const int64_t moved = time + shift;
    const uint64_t distance = moved > reference ? static_cast<uint64_t>(moved - reference)
                                                : static_cast<uint64_t>(reference - moved);
    if (distance < nearest_distance) {
      nearest = shift;
      nearest_distance = distance;
    }
  }
  return nearest;
}

}  // namespace qx::media
