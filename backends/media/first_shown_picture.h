// The presentation time of the first picture a decoder shows when a file is
// played from its start. The pictures shown before it in presentation order
// never are: the rest of a group of pictures a cut cut off (they refer to
// pictures the file does not hold), or pictures the file marks as decoded
// only to reach a later one (an MP4 edit list that starts after a key
// frame). Which ones a decoder drops depends on the codec (an H.264 or
// MPEG-2 decoder drops what comes before the first key frame, an H.265
// decoder shows it patched up), so it is asked, from the file's first
// packets, with a decoder of its own.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_FIRST_SHOWN_PICTURE_H
#define QXPLAYSDK_BACKENDS_MEDIA_FIRST_SHOWN_PICTURE_H

#include <cstdint>
#include <memory>
#include <optional>

#include "backends/media/ffmpeg.h"
#include "backends/media/stream_decoder.h"

namespace qx::media {

class FirstShownPicture {
 public:
  explicit FirstShownPicture(const AVStream& video);
  // The stream's next packet in decode order; ignored once the answer is
  // known.
  void Add(const AVPacket& packet);
  // The answer (draining the decoder when no picture has come out yet);
  // AV_NOPTS_VALUE when no picture with a time comes out.
  int64_t Finish();
  // For a stream whose packets carry no presentation times (raw H.264 and
  // H.265 streams): the decode index of the packet whose picture came out
  // first. Each packet goes to the decoder tagged with its decode index,
  // which comes out with its picture. Valid after Finish.
  std::optional<uint32_t> first_shown_packet() const { return first_shown_packet_; }

 private:
  void Receive();

  std::unique_ptr<StreamDecoder> decoder_;  // null once answered
  FramePtr picture_ = MakeFrame();
  PacketPtr tagged_ = MakePacket();
  uint32_t packets_ = 0;
  bool untimed_ = true;  // no packet sent had a presentation time
  int64_t pts_ = AV_NOPTS_VALUE;
  std::optional<uint32_t> first_shown_packet_;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_FIRST_SHOWN_PICTURE_H
