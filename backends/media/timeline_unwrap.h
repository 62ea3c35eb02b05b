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
#include <vector>

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
  // What each part's times are moved by, in the order of the parts (the
  // first part's is 0).
  const std::vector<int64_t>& shifts() const { return shifts_; }

 private:
  // A step back longer than this starts a new part; shorter ones are the
  // reorder of presentation times that lack decode times.
  int64_t back_limit_ = 0;
  int64_t offset_ = 0;
  int64_t last_ = AV_NOPTS_VALUE;  // the last packet's time, moved
  int64_t step_ = 1;               // the last forward step between packets
  bool went_back_ = false;
  std::vector<int64_t> shifts_{0};
};

// The shift (one of `shifts`) that puts `time`, of a packet of another
// stream (the sound), nearest to `reference`, the moved time of the
// pictures read now: the sound's times go back with the pictures', but a
// muxer carries it up to a second away from them in the file, so it is
// placed by its time rather than by where it lies.
int64_t NearestPartShift(const std::vector<int64_t>& shifts, int64_t time, int64_t reference);

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_TIMELINE_UNWRAP_H
