#include "backends/media/presentation_order.h"

#include <algorithm>
#include <numeric>

namespace qx::media {

std::unique_ptr<PresentationOrderScan> PresentationOrderScan::For(const AVCodecParameters& codec) {
  Rule rule = Rule::kPictureOrderCount;
  switch (codec.codec_id) {
    case AV_CODEC_ID_H264:
    case AV_CODEC_ID_HEVC:
      rule = Rule::kPictureOrderCount;
      break;
    case AV_CODEC_ID_MPEG1VIDEO:
    case AV_CODEC_ID_MPEG2VIDEO:
    case AV_CODEC_ID_MPEG4:
      rule = Rule::kAnchorsAfterBPictures;
      break;
    default:
      return nullptr;
  }
  std::unique_ptr<PresentationOrderScan> scan(new PresentationOrderScan());
  scan->rule_ = rule;
  scan->parser_ = av_parser_init(codec.codec_id);
  scan->context_.reset(avcodec_alloc_context3(nullptr));
  if (scan->parser_ == nullptr || !scan->context_) return nullptr;
  // The parameter sets or the MPEG-4 VOL header may be in the extradata
  // only (AVI): the parser reads them from there.
  if (avcodec_parameters_to_context(scan->context_.get(), &codec) < 0) return nullptr;
  scan->parser_->flags |= PARSER_FLAG_COMPLETE_FRAMES;
  return scan;
}

PresentationOrderScan::~PresentationOrderScan() {
  if (parser_ != nullptr) av_parser_close(parser_);
}

void PresentationOrderScan::Add(const AVPacket& packet) {
  uint8_t* out = nullptr;
  int out_size = 0;
  parser_->pict_type = AV_PICTURE_TYPE_NONE;
  av_parser_parse2(parser_, context_.get(), &out, &out_size, packet.data, packet.size,
                   AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
  Picture picture;
  picture.key = (packet.flags & AV_PKT_FLAG_KEY) != 0;
  picture.order_count = parser_->output_picture_number;
  picture.b_picture = parser_->pict_type == AV_PICTURE_TYPE_B;
  if (parser_->pict_type == AV_PICTURE_TYPE_NONE) unreadable_ = true;
  pictures_.push_back(picture);
}

std::optional<std::vector<uint32_t>> PresentationOrderScan::Ranks() const {
  if (unreadable_) return std::nullopt;
  return rule_ == Rule::kPictureOrderCount ? RanksByOrderCount() : RanksByAnchors();
}

std::vector<uint32_t> PresentationOrderScan::RanksByOrderCount() const {
  // Order counts start again at an instantaneous refresh: a key picture
  // counted below a picture before it. Every picture of a run of counts is
  // shown before the next run; within a run, by count (ties in decode
  // order).
  const auto count = static_cast<uint32_t>(pictures_.size());
  std::vector<uint32_t> order(count);
  std::iota(order.begin(), order.end(), 0U);
  uint32_t run_start = 0;
  int run_highest = 0;
  auto sort_run = [&](uint32_t end) {
    std::stable_sort(order.begin() + run_start, order.begin() + end, [&](uint32_t a, uint32_t b) {
      return pictures_[a].order_count < pictures_[b].order_count;
    });
  };
  for (uint32_t i = 0; i < count; ++i) {
    const Picture& picture = pictures_[i];
    if (i > run_start && picture.key && picture.order_count < run_highest) {
      sort_run(i);
      run_start = i;
    }
    if (i == run_start || picture.order_count > run_highest) run_highest = picture.order_count;
  }
  sort_run(count);
  std::vector<uint32_t> ranks(count);
  for (uint32_t rank = 0; rank < count; ++rank) ranks[order[rank]] = rank;
  return ranks;
}

std::vector<uint32_t> PresentationOrderScan::RanksByAnchors() const {
  // A B-picture is shown as it is decoded; an I or P picture waits until
  // the next I or P picture is decoded (or the stream ends).
  const auto count = static_cast<uint32_t>(pictures_.size());
  std::vector<uint32_t> ranks(count);
  uint32_t next_rank = 0;
  std::optional<uint32_t> waiting_anchor;
  for (uint32_t i = 0; i < count; ++i) {
    if (pictures_[i].b_picture) {
      ranks[i] = next_rank++;
      continue;
    }
    if (waiting_anchor) ranks[*waiting_anchor] = next_rank++;
    waiting_anchor = i;
  }
  if (waiting_anchor) ranks[*waiting_anchor] = next_rank++;
  return ranks;
}

}  // namespace qx::media
