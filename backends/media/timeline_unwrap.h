// One timeline for a file whose clock goes back part way: recordings joined
// end to end, or a recorder whose clock was set back while it recorded.
//
// Frames are numbered in the order of their presentation times. Where the
// times go back, the later part's times lie before (or among) the earlier
// part's, and frames would be numbered out of the order they are played in,
// or two frames share one time and one number. Fed the packets of one
// stream in decode order, this moves each part's times to follow the part
// before it, one packet's step later: the order is the file's and the
// times within each part keep their spacing.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_TIMELINE_UNWRAP_H
#define QXPLAYSDK_BACKENDS_MEDIA_TIMELINE_UNWRAP_H

#include <cstdint>

#include "backends/media/ffmpeg.h"

namespace qx::media {

class TimelineUnwrap {
 public:
  explicit TimelineUnwrap(AVRational time_base);

  // The amount to add to the times of the next packet, given its decode and
  // presentation times (either may be unknown).
  int64_t Next(int64_t dts, int64_t pts);
  // Whether the times have gone back anywhere so far.
  bool went_back() const { return went_back_; }

 private:
  // A step back longer than this starts a new part; shorter ones are the
  // reorder of presentation times that lack decode times.
  int64_t back_limit_ = 0;
  int64_t offset_ = 0;
  int64_t last_ = AV_NOPTS_VALUE;  // the last packet's time, moved
  int64_t step_ = 1;               // the last forward step between packets
  bool went_back_ = false;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_TIMELINE_UNWRAP_H
