// Which of a file's first pictures a decoder shows when the file is played
// from its start. Those it does not show never are: the rest of a group of
// pictures a cut cut off (they refer to pictures the file does not hold),
// the leading pictures of the first key frame that refer to pictures before
// it (an open group, which H.265 decoders skip after a cut), or pictures
// the file marks as decoded only to reach a later one (an MP4 edit list
// that starts after a key frame). Which ones a decoder drops depends on the
// codec (an H.264 or MPEG-2 decoder drops what comes before the first key
// frame, an H.265 decoder shows it patched up), so it is asked, from the
// file's first packets, with a decoder of its own: every picture that comes
// out until the first key frame's own picture has.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_FIRST_SHOWN_PICTURE_H
#define QXPLAYSDK_BACKENDS_MEDIA_FIRST_SHOWN_PICTURE_H

#include <cstdint>
#include <memory>
#include <vector>

#include "backends/media/ffmpeg.h"
#include "backends/media/stream_decoder.h"

namespace qx::media {

class FirstShownPicture {
 public:
  explicit FirstShownPicture(const AVStream& video);
  // The stream's next packet in decode order; ignored once the answer is
  // known.
  void Add(const AVPacket& packet);
  // Drains the decoder when the answer is not known yet.
  void Finish();

  // Pictures are told by their presentation times or, in a stream whose
  // packets carry none (raw H.264 and H.265), by their packets' decode
  // indexes: each packet goes to the decoder tagged with its decode index,
  // which comes out with its picture.
  bool untimed() const { return untimed_; }
  // The tags of the pictures that came out, in the order they did, up to
  // and with the first key frame's picture (or, when that never came out,
  // all that did).
  const std::vector<int64_t>& shown() const { return shown_; }
  // Whether the first key frame's picture came out: every picture shown
  // before it that is not in shown() never is.
  bool key_shown() const { return key_shown_; }

 private:
  void Receive();

  std::unique_ptr<StreamDecoder> decoder_;  // null once answered
  FramePtr picture_ = MakeFrame();
  PacketPtr tagged_ = MakePacket();
  uint32_t packets_ = 0;
  bool untimed_ = true;  // no packet sent had a presentation time
  int64_t key_tag_ = AV_NOPTS_VALUE;
  std::vector<int64_t> shown_;
  bool key_shown_ = false;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_FIRST_SHOWN_PICTURE_H
