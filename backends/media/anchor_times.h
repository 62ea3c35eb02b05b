// Presentation times for MPEG-4 Part 2 pictures that come with a decode
// time only (AVI gives B-pictures a presentation time and the others none)
// or with no time at all (raw streams).
//
// An I or P picture (an anchor) is shown after the B-pictures that follow
// it in decode order: at the decode time of the next anchor. So an anchor
// is held, with everything read after it, until the next anchor comes; the
// packets then go on in the order they were read. Without it a recording
// showed each anchor at its decode time, before the B-pictures it is shown
// after.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_ANCHOR_TIMES_H
#define QXPLAYSDK_BACKENDS_MEDIA_ANCHOR_TIMES_H

#include <cstdint>
#include <vector>

#include "backends/media/ffmpeg.h"

namespace qx::media {

class AnchorTimes {
 public:
  // A packet as it was read, and its copy with the times it is written with.
  struct Packet {
    PacketPtr original;
    PacketPtr timed;
  };

  // Pictures `frame_duration` apart, in the time base of the packets.
  explicit AnchorTimes(int64_t frame_duration) : frame_duration_(frame_duration) {}

  // Whether the picture is one whose time this class finds: MPEG-4 Part 2
  // without a presentation time.
  static bool Needed(AVCodecID codec, const AVPacket& picture);

  // Takes the next packet read (`picture`: of the video stream; its timed
  // copy has a decode time) and gives back, in order, those whose times are
  // now known.
  std::vector<Packet> Add(Packet packet, bool picture);
  // The packets held at the end: the held anchor is shown one frame after
  // the last picture held.
  std::vector<Packet> Flush();
  // The packets held, for a file carried on from where they were read.
  AnchorTimes Copy() const;

 private:
  int64_t frame_duration_ = 1;
  // Held from an anchor on; none while no anchor waits.
  std::vector<Packet> held_;
  // Beyond this many packets the anchor waits no longer (no anchor came).
  static constexpr size_t kMaxHeld = 256;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_ANCHOR_TIMES_H
