// The head of a pushed FLV byte stream: its file header, its metadata tag
// and the latest codec setup tags (H.264/H.265 decoder configuration, AAC
// audio specific configuration), kept while the stream is pushed so that a
// reader joining the stream at a tag can still read it.
//
// FLV carries a codec's setup only once, in a tag of its own before the
// first frames: a reader that starts at a later tag knows neither the codec
// setup nor, without the file header, that the bytes are FLV at all. The
// setup tags go before the joined bytes, which the reader then reads as
// tags of the same stream.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_FLV_STREAM_HEAD_H
#define QXPLAYSDK_BACKENDS_MEDIA_FLV_STREAM_HEAD_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "backends/media/stream_lead_in.h"

namespace qx::media {

class FlvStreamHead {
 public:
  // The next bytes of the stream, in the order they were pushed.
  void Feed(const uint8_t* data, size_t length);
  // The head, for a reader of the bytes from `offset` on: a tag's start,
  // or the end of the bytes pushed so far (then with the first bytes of
  // the tag being pushed). None when the stream is no FLV or its header has
  // not come.
  std::optional<StreamLeadIn> LeadInAt(uint64_t offset) const;

  // Setup and metadata tags are small; a larger one is no setup.
  static constexpr size_t kMaxKeptTag = 1 << 20;

 private:
  enum class State { kHeader, kTags, kNotFlv };
  void TakeTag(const std::vector<uint8_t>& tag);

  State state_ = State::kHeader;
  std::vector<uint8_t> header_;  // the file header and the first tag size
  // Bytes of the tag being pushed, from its start.
  std::vector<uint8_t> tag_;
  uint64_t total_ = 0;  // bytes fed
  // Kept tags (with their trailing size) by kind: metadata, video setup,
  // sound setup.
  std::map<int, std::vector<uint8_t>> kept_;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_FLV_STREAM_HEAD_H
