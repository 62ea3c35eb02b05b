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
    } else if (moved > last_ && moved - last_ <= back_limit_) {
      step_ = moved - last_;
    }
  }
  last_ = moved;
  return offset_;
}

}  // namespace qx::media
