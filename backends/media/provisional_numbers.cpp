#include "backends/media/provisional_numbers.h"

#include "backends/media/ffmpeg.h"

namespace qx::media {

void ProvisionalNumbers::Restart() {
  unshown_ = {};
  passed_ = 0;
  untimed_ = false;
  any_shown_ = false;
  first_key_pts_ = AV_NOPTS_VALUE;
  unwrap_ = TimelineUnwrap(time_base_);
}

int64_t ProvisionalNumbers::PacketRead(int64_t dts, int64_t pts, bool key) {
  const int64_t moved_by = unwrap_.Next(dts, pts);
  if (pts == AV_NOPTS_VALUE) {
    untimed_ = true;
    return pts;
  }
  pts += moved_by;
  if (key && first_key_pts_ == AV_NOPTS_VALUE) first_key_pts_ = pts;
  unshown_.push(pts);
  return pts;
}

std::optional<uint32_t> ProvisionalNumbers::NumberOf(int64_t pts) {
  if (untimed_ || pts == AV_NOPTS_VALUE) return std::nullopt;
  // Packets shown earlier whose pictures never came: they still had their
  // numbers, unless they come before the first picture shown, or before the
  // first key frame's (its leading pictures, which refer to pictures before
  // it).
  while (!unshown_.empty() && unshown_.top() < pts) {
    const bool before_key = first_key_pts_ != AV_NOPTS_VALUE && unshown_.top() < first_key_pts_;
    unshown_.pop();
    if (any_shown_ && !before_key) ++passed_;
  }
  any_shown_ = true;
  const uint32_t number = passed_;
  if (!unshown_.empty() && unshown_.top() == pts) {
    unshown_.pop();
    ++passed_;
  }
  return number;
}

}  // namespace qx::media
