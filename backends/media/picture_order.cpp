#include "backends/media/picture_order.h"

#include <cstdlib>

namespace qx::media {
namespace {

// Frames by which a picture's own time may miss the one its header gives
// before the header's is no longer believed.
constexpr int64_t kSlip = 8;

constexpr uint8_t kPictureStart = 0x00;
constexpr uint8_t kGroupStart = 0xB8;

}  // namespace

std::unique_ptr<PictureOrder> PictureOrder::For(AVCodecID codec, int reorder_delay,
                                                bool headers_first) {
  std::unique_ptr<PictureOrder> order(new PictureOrder());
  order->headers_first_ = headers_first;
  if (codec == AV_CODEC_ID_MPEG1VIDEO || codec == AV_CODEC_ID_MPEG2VIDEO) {
    // Temporal references count frames from 0 at each group of pictures;
    // the group's first picture in decode order is shown one frame after
    // it is decoded, a B-picture as it is decoded.
    order->mpeg_video_ = true;
    order->poc_step_ = 1;
    order->reorder_delay_ = 1;
    return order;
  }
  if (codec != AV_CODEC_ID_H264 && codec != AV_CODEC_ID_HEVC) return nullptr;
  // H.264 counts two per frame (one per field), H.265 one.
  order->poc_step_ = codec == AV_CODEC_ID_H264 ? 2 : 1;
  order->parser_ = av_parser_init(codec);
  order->context_.reset(avcodec_alloc_context3(nullptr));
  if (order->parser_ == nullptr || !order->context_) return nullptr;
  order->parser_->flags |= PARSER_FLAG_COMPLETE_FRAMES;
  // Enough delay for the usual B-picture depth when the reader could not
  // tell it: a presentation time must not come before the decode time.
  order->reorder_delay_ = reorder_delay > 0 ? reorder_delay : 2;
  return order;
}

PictureOrder::~PictureOrder() {
  if (parser_ != nullptr) av_parser_close(parser_);
}

std::optional<int> PictureOrder::OrderCount(const AVPacket& packet, bool* starts_group) {
  if (mpeg_video_) {
    // Start codes: a group header, then the picture header whose first ten
    // bits are the temporal reference.
    *starts_group = false;
    for (int i = 0; i + 5 < packet.size; ++i) {
      const uint8_t* at = packet.data + i;
      if (at[0] != 0 || at[1] != 0 || at[2] != 1) continue;
      if (at[3] == kGroupStart) *starts_group = true;
      if (at[3] == kPictureStart) return (at[4] << 2) | (at[5] >> 6);
    }
    return std::nullopt;
  }
  uint8_t* out = nullptr;
  int out_size = 0;
  av_parser_parse2(parser_, context_.get(), &out, &out_size, packet.data, packet.size,
                   AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
  const int poc = parser_->output_picture_number;
  // Counts start again at an instantaneous refresh (a key picture counted
  // below the pictures before it); an open group's key picture (H.265 CRA,
  // H.264 recovery point) continues the count, and the pictures that lead
  // it are shown before it.
  *starts_group = (packet.flags & AV_PKT_FLAG_KEY) != 0 && (!have_key_ || poc < highest_poc_);
  return poc;
}

std::optional<int64_t> PictureOrder::PresentationTime(const AVPacket& packet, int64_t pts,
                                                      int64_t dts, int64_t duration) {
  const std::optional<int64_t> own =
      pts != AV_NOPTS_VALUE ? std::optional<int64_t>(pts) : std::nullopt;
  bool starts_group = false;
  const std::optional<int> poc = OrderCount(packet, &starts_group);
  if (!poc) return own;
  if (starts_group) {
    have_key_ = true;
    // An MPEG group counts from its first picture shown, whichever is
    // decoded first.
    key_poc_ = mpeg_video_ ? 0 : *poc;
    key_dts_ = dts;
    highest_poc_ = *poc;
  }
  if (*poc > highest_poc_) highest_poc_ = *poc;
  if (!have_key_) return own;
  const int64_t by_header = key_dts_ + (reorder_delay_ + (*poc - key_poc_) / poc_step_) * duration;
  if (!own) return by_header + offset_;
  // A reader that cuts pictures out of PES packets (MPEG-PS) can give one
  // picture the timestamps of another: a time a few frames off the one the
  // header gives is taken for that; farther off, the stream's clock moved.
  const bool slipped = headers_first_ && have_offset_ &&
                       std::llabs(*own - (by_header + offset_)) <= kSlip * duration;
  if (slipped) return by_header + offset_;
  offset_ = *own - by_header;
  have_offset_ = true;
  return own;
}

}  // namespace qx::media
