// Where each picture of a stream without presentation timestamps is shown.
// Raw H.264/H.265 files carry no timestamps at all, and AVI gives MPEG-4
// Part 2 pictures only decode times; with B-pictures, or pictures that lead
// an open group, decode order is not the order they are shown in. The
// pictures' own headers say it: H.264 and H.265 slices carry a picture
// order count, and in MPEG-1/2/4 Part 2 every I or P picture is shown after
// the B-pictures that follow it in decode order.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_PRESENTATION_ORDER_H
#define QXPLAYSDK_BACKENDS_MEDIA_PRESENTATION_ORDER_H

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "backends/media/ffmpeg.h"

namespace qx::media {

class PresentationOrderScan {
 public:
  // Null when the codec's headers do not tell the order (it is then taken
  // to be the decode order).
  static std::unique_ptr<PresentationOrderScan> For(const AVCodecParameters& codec);
  ~PresentationOrderScan();
  PresentationOrderScan(const PresentationOrderScan&) = delete;
  PresentationOrderScan& operator=(const PresentationOrderScan&) = delete;

  // The stream's packets, one picture each, in decode order.
  void Add(const AVPacket& packet);
  // Each added packet's place in presentation order (0 first), or nothing
  // when a picture's header could not be read.
  std::optional<std::vector<uint32_t>> Ranks() const;

 private:
  enum class Rule { kPictureOrderCount, kAnchorsAfterBPictures };
  struct Picture {
    int order_count = 0;  // kPictureOrderCount
    bool key = false;
    bool b_picture = false;  // kAnchorsAfterBPictures
  };

  PresentationOrderScan() = default;
  std::vector<uint32_t> RanksByOrderCount() const;
  std::vector<uint32_t> RanksByAnchors() const;

  Rule rule_ = Rule::kPictureOrderCount;
  AVCodecParserContext* parser_ = nullptr;
  CodecContextPtr context_;
  std::vector<Picture> pictures_;
  bool unreadable_ = false;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_PRESENTATION_ORDER_H
