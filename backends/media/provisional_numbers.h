// Numbers the pictures of a file played from its start before its frame
// index is whole, as the index will number them: by the rank of their
// presentation time among all the file's pictures.
//
// The decoder gives pictures in presentation order, so when a picture comes
// out every picture shown before it has been read (and sent to the decoder)
// already; its number is how many of the packets read so far carry an
// earlier time. Counting the pictures that come out instead would number
// every picture after one that fails to decode one too low. The pictures
// shown before the first one that comes out never are, nor those shown
// before the first key frame's that do not come out (see
// FirstShownPicture): they get no number, as in the index. Where the file's
// clock goes back, times are moved as the index moves them (see
// TimelineUnwrap).
#ifndef QXPLAYSDK_BACKENDS_MEDIA_PROVISIONAL_NUMBERS_H
#define QXPLAYSDK_BACKENDS_MEDIA_PROVISIONAL_NUMBERS_H

#include <cstdint>
#include <functional>
#include <optional>
#include <queue>
#include <vector>

#include "backends/media/timeline_unwrap.h"

namespace qx::media {

class ProvisionalNumbers {
 public:
  // For a video stream with this time base (by default FFmpeg's
  // microseconds).
  explicit ProvisionalNumbers(AVRational time_base = AVRational{1, AV_TIME_BASE})
      : time_base_(time_base), unwrap_(time_base) {}

  // Playing starts again from the file's first packet.
  void Restart();
  // A video packet sent to the decoder, with its decode and presentation
  // times and whether it is marked key. Gives its presentation time on the
  // file's one timeline, by which its picture is asked for (NumberOf).
  int64_t PacketRead(int64_t dts, int64_t pts, bool key);
  // The number of the picture decoded with this presentation time; nothing
  // when a packet without a time was read (the caller counts pictures then).
  std::optional<uint32_t> NumberOf(int64_t pts);
  // What each part of the file read so far has its times moved by.
  const std::vector<int64_t>& part_shifts() const { return unwrap_.shifts(); }

 private:
  AVRational time_base_;
  TimelineUnwrap unwrap_;
  // The times of packets read whose pictures have not come out yet.
  std::priority_queue<int64_t, std::vector<int64_t>, std::greater<>> unshown_;
  uint32_t passed_ = 0;  // packets whose pictures came out or were skipped
  bool any_shown_ = false;
  bool untimed_ = false;
  int64_t first_key_pts_ = INT64_MIN;  // AV_NOPTS_VALUE: none read yet
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_PROVISIONAL_NUMBERS_H
