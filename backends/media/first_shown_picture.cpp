#include "backends/media/first_shown_picture.h"

#include "core/log.h"

namespace qx::media {

namespace {

// A file whose first key frame's picture has not come out after this many
// packets is taken to show every picture from the first that came out.
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
  int64_t tag = packet.pts;
  if (packet.pts == AV_NOPTS_VALUE) {
    if (av_packet_ref(tagged_.get(), &packet) < 0) return;
    tag = packets_ - 1;
    tagged_->pts = tag;
    sent = tagged_.get();
  } else {
    untimed_ = false;
  }
  if (key_tag_ == AV_NOPTS_VALUE && (packet.flags & AV_PKT_FLAG_KEY) != 0) key_tag_ = tag;
  const int sent_result = decoder_->Send(sent);
  av_packet_unref(tagged_.get());
  if (sent_result < 0) return;  // a broken packet: the next ones may do
  Receive();
}

void FirstShownPicture::Finish() {
  if (decoder_ && decoder_->Send(nullptr) >= 0) Receive();
  decoder_.reset();
}

void FirstShownPicture::Receive() {
  while (decoder_ && decoder_->Receive(picture_.get()) == 0) {
    const int64_t tag = picture_->pts;
    av_frame_unref(picture_.get());
    if (tag == AV_NOPTS_VALUE) continue;
    shown_.push_back(tag);
    if (tag == key_tag_) {
      key_shown_ = true;
      decoder_.reset();
    }
  }
}

}  // namespace qx::media
