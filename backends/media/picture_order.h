// Presentation times for raw H.264 and H.265 pictures, which come without
// timestamps: the picture order count in each slice header says where a
// picture is shown within its group, so a picture numbered in decode order
// can be given the time it is shown at.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_PICTURE_ORDER_H
#define QXPLAYSDK_BACKENDS_MEDIA_PICTURE_ORDER_H

#include <cstdint>
#include <memory>
#include <optional>

#include "backends/media/ffmpeg.h"

namespace qx::media {

class PictureOrder {
 public:
  // Null for codecs other than H.264 and H.265 (or no parser).
  static std::unique_ptr<PictureOrder> For(AVCodecID codec, int reorder_delay);
  ~PictureOrder();
  PictureOrder(const PictureOrder&) = delete;
  PictureOrder& operator=(const PictureOrder&) = delete;

  // The presentation time of a picture whose decode time is `dts` (pictures
  // `duration` apart), or nothing when its slice header cannot be read.
  std::optional<int64_t> PresentationTime(const AVPacket& packet, int64_t dts, int64_t duration);

 private:
  PictureOrder() = default;

  AVCodecParserContext* parser_ = nullptr;
  CodecContextPtr context_;
  int poc_step_ = 2;  // order counts per frame
  int reorder_delay_ = 2;
  bool have_key_ = false;
  int key_poc_ = 0;
  int highest_poc_ = 0;
  int64_t key_dts_ = 0;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_PICTURE_ORDER_H
