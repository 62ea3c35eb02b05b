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
  if (decoder_->Send(&packet) < 0) return;  // a broken packet: the next ones may do
  Receive();
}

int64_t FirstShownPicture::Finish() {
  if (decoder_ && decoder_->Send(nullptr) >= 0) Receive();
  decoder_.reset();
  return pts_;
}

void FirstShownPicture::Receive() {
  if (decoder_->Receive(picture_.get()) != 0) return;
  pts_ = picture_->pts;
  av_frame_unref(picture_.get());
  decoder_.reset();
}

}  // namespace qx::media
