// Presentation times for pictures that come without one: raw H.264 and
// H.265 streams carry no timestamps, and MPEG-PS gives none to a picture
// that begins inside a PES packet. The picture order count in each H.264 or
// H.265 slice header, or the temporal reference in an MPEG-1/2 picture
// header, says where a picture is shown within its group, so a picture
// with a decode time can be given the time it is shown at. Pictures that
// have a time set the offset between the two clocks for those that do not.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_PICTURE_ORDER_H
#define QXPLAYSDK_BACKENDS_MEDIA_PICTURE_ORDER_H

#include <cstdint>
#include <memory>
#include <optional>

#include "backends/media/ffmpeg.h"

namespace qx::media {

class PictureOrder {
 public:
  // Null for codecs other than H.264, H.265 and MPEG-1/2 (or no parser).
  // With `headers_first` (MPEG-PS, whose reader can give a picture another
  // picture's timestamps) a picture's own time is believed only when it is
  // far from the one its header gives; otherwise its own time stands.
  static std::unique_ptr<PictureOrder> For(AVCodecID codec, int reorder_delay,
                                           bool headers_first = false);
  bool headers_first() const { return headers_first_; }
  ~PictureOrder();
  PictureOrder(const PictureOrder&) = delete;
  PictureOrder& operator=(const PictureOrder&) = delete;

  // The presentation time of a picture whose decode time is `dts` (pictures
  // `duration` apart), from its header and the times of the pictures that
  // have one (`pts`, when it has); nothing when its header cannot be read.
  // Every picture of the stream comes here in decode order.
  std::optional<int64_t> PresentationTime(const AVPacket& packet, int64_t pts, int64_t dts,
                                          int64_t duration);

 private:
  PictureOrder() = default;
  // The order count of the picture and whether it begins a group whose
  // counts start again (nothing when the header cannot be read).
  std::optional<int> OrderCount(const AVPacket& packet, bool* starts_group);

  AVCodecParserContext* parser_ = nullptr;
  CodecContextPtr context_;
  bool mpeg_video_ = false;  // MPEG-1/2: temporal references, read here
  bool headers_first_ = false;
  int poc_step_ = 2;  // order counts per frame
  int reorder_delay_ = 2;
  bool have_key_ = false;
  int key_poc_ = 0;
  int highest_poc_ = 0;
  int64_t key_dts_ = 0;
  int64_t offset_ = 0;  // a timed picture's time less the one its header gives
  bool have_offset_ = false;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_PICTURE_ORDER_H
