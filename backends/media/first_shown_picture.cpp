#include "backends/media/first_shown_picture.h"

#include "core/log.h"

namespace qx::media {

namespace {

// A file whose first picture has not come out after this many packets shows
// none that the decoder can make out: nothing is taken as unshown.
constexpr uint32_t kMostPacketsDecoded = 600;

}  // namespace

FirstShownPicture::FirstShownPicture(const AVStream& video)
    : decoder_(StreamDecoder::Open(video, DecoderOptions{1, true})) {
  if (!decoder_) {
    log::Debug("media", log::kNoPort,
               "no decoder to find the first picture shown: every picture is taken as shown");
  }
}

void FirstShownPicture::Add(const AVPacket& packet) {
  if (!decoder_) return;
  if (++packets_ > kMostPacketsDecoded) {
    decoder_.reset();
    return;
  }
  const AVPacket* sent = &packet;
  if (packet.pts == AV_NOPTS_VALUE) {
    if (av_packet_ref(tagged_.get(), &packet) < 0) return;
    tagged_->pts = packets_ - 1;
    sent = tagged_.get();
  } else {
    untimed_ = false;
  }
  const int sent_result = decoder_->Send(sent);
  av_packet_unref(tagged_.get());
  if (sent_result < 0) return;  // a broken packet: the next ones may do
  Receive();
}

int64_t FirstShownPicture::Finish() {
  if (decoder_ && decoder_->Send(nullptr) >= 0) Receive();
  decoder_.reset();
  return pts_;
}

void FirstShownPicture::Receive() {
  if (decoder_->Receive(picture_.get()) != 0) return;
  const int64_t pts = picture_->pts;
  if (!untimed_) {
    pts_ = pts;
  } else if (pts >= 0 && pts < packets_) {
    first_shown_packet_ = static_cast<uint32_t>(pts);
  }
  av_frame_unref(picture_.get());
  decoder_.reset();
}

}  // namespace qx::media
