#include "backends/media/picture_order.h"

namespace qx::media {

std::unique_ptr<PictureOrder> PictureOrder::For(AVCodecID codec, int reorder_delay) {
  if (codec != AV_CODEC_ID_H264 && codec != AV_CODEC_ID_HEVC) return nullptr;
  std::unique_ptr<PictureOrder> order(new PictureOrder());
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

std::optional<int64_t> PictureOrder::PresentationTime(const AVPacket& packet, int64_t dts,
                                                      int64_t duration) {
  uint8_t* out = nullptr;
  int out_size = 0;
  av_parser_parse2(parser_, context_.get(), &out, &out_size, packet.data, packet.size,
                   AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
  const int poc = parser_->output_picture_number;
  // Counts start again at an instantaneous refresh (a key picture counted
  // below the pictures before it); an open group's key picture (H.265 CRA,
  // H.264 recovery point) continues the count, and the pictures that lead
  // it are shown before it.
  if ((packet.flags & AV_PKT_FLAG_KEY) != 0 && (!have_key_ || poc < highest_poc_)) {
    have_key_ = true;
    key_poc_ = poc;
    key_dts_ = dts;
    highest_poc_ = poc;
  }
  if (poc > highest_poc_) highest_poc_ = poc;
  if (!have_key_) return std::nullopt;
  return key_dts_ + (reorder_delay_ + (poc - key_poc_) / poc_step_) * duration;
}

}  // namespace qx::media
