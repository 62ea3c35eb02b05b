// What a reader joining a pushed stream part way must read first, for the
// containers that cannot be read from their middle: MP4/3GP (see
// Mp4StreamHead) and Matroska/WebM (see MatroskaStreamHead), which keep the
// stream's offsets; FLV (see FlvStreamHead), read from a tag on. Other
// streams (MPEG-TS/PS, raw H.264/H.265) need none.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_STREAM_HEAD_H
#define QXPLAYSDK_BACKENDS_MEDIA_STREAM_HEAD_H

#include <cstddef>
#include <cstdint>
#include <optional>

#include "backends/media/flv_stream_head.h"
#include "backends/media/matroska_stream_head.h"
#include "backends/media/mp4_stream_head.h"
#include "backends/media/stream_lead_in.h"

namespace qx::media {

class StreamHead {
 public:
  // The next bytes of the stream, in the order they were pushed.
  void Feed(const uint8_t* data, size_t length) {
    mp4_.Feed(data, length);
    matroska_.Feed(data, length);
    flv_.Feed(data, length);
  }
  // Bytes fed so far.
  uint64_t total() const { return mp4_.total(); }
  // The lead-in for a reader that starts at byte `offset`; none when the
  // stream needs none or it was not kept.
  std::optional<StreamLeadIn> LeadInAt(uint64_t offset) const {
    if (std::optional<StreamLeadIn> lead_in = mp4_.LeadInAt(offset)) return lead_in;
    if (std::optional<StreamLeadIn> lead_in = matroska_.LeadInAt(offset)) return lead_in;
    return flv_.LeadInAt(offset);
  }
  // For bytes kept from a tag of an FLV stream (empty for the streams that
  // need no head).
  StreamLeadIn TagHead() const { return flv_.LeadInAt(0).value_or(StreamLeadIn{}); }

 private:
  Mp4StreamHead mp4_;
  MatroskaStreamHead matroska_;
  FlvStreamHead flv_;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_STREAM_HEAD_H
