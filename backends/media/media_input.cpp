#include "backends/media/media_input.h"

#include <algorithm>
#include <cstring>

#include "backends/media/key_frame_scan.h"
#include "backends/media/local_file.h"

namespace qx::media {

namespace {

constexpr int kStreamIoBlock = 4096;

}  // namespace

MediaInput::~MediaInput() {
  context_.reset();
  if (io_ != nullptr) {
    av_freep(static_cast<void*>(&io_->buffer));
    avio_context_free(&io_);
  }
}

std::unique_ptr<MediaInput> MediaInput::OpenFile(const std::string& path, int32_t port) {
  std::unique_ptr<MediaInput> input(new MediaInput());
  input->port_ = port;
  AVFormatContext* context = nullptr;
  AVDictionary* options = LocalFileOnlyOptions();
  const int opened = avformat_open_input(&context, LocalFileUrl(path).c_str(), nullptr, &options);
  av_dict_free(&options);
  if (opened < 0) {
    log::Warning("media", port, "cannot open \"{}\": {}", path, ErrorText(opened));
    return nullptr;
  }
  input->context_.reset(context);
  if (const int found = avformat_find_stream_info(context, nullptr); found < 0) {
    log::Warning("media", port, "cannot read the streams of \"{}\": {}", path, ErrorText(found));
    return nullptr;
  }
  input->ChooseStreams();
  if (input->video_stream_ < 0) {
    log::Warning("media", port, "\"{}\" ({}) has no video stream", path, context->iformat->name);
    return nullptr;
  }
  return input;
}

std::unique_ptr<MediaInput> MediaInput::OpenStream(std::shared_ptr<StreamBuffer> buffer,
                                                   int32_t port, StreamLeadIn lead_in,
                                                   const std::string& format) {
  std::unique_ptr<MediaInput> input(new MediaInput());
  input->port_ = port;
  input->buffer_ = std::move(buffer);
  input->lead_in_ = std::move(lead_in);
  auto* io_buffer = static_cast<uint8_t*>(av_malloc(kStreamIoBlock));
  if (io_buffer == nullptr) return nullptr;
  input->io_ = avio_alloc_context(io_buffer, kStreamIoBlock, 0, input.get(),
                                  &MediaInput::ReadBuffer, nullptr, nullptr);
  if (input->io_ == nullptr) {
    av_free(io_buffer);
    return nullptr;
  }
  input->io_->seekable = 0;
  AVFormatContext* context = avformat_alloc_context();
  if (context == nullptr) return nullptr;
  context->pb = input->io_;
  context->flags |= AVFMT_FLAG_CUSTOM_IO;
  // The streams are taken as their packets come instead of being analysed
  // ahead, so that no time passes between the first key frame and its picture.
  const AVInputFormat* known = format.empty() ? nullptr : av_find_input_format(format.c_str());
  if (const int opened = avformat_open_input(&context, nullptr, known, nullptr); opened < 0) {
    // avformat_open_input frees the context it was given when it fails.
    if (!input->buffer_->Aborted()) {
      log::Warning("media", port, "the stream's format is not recognised: {}", ErrorText(opened));
    }
    return nullptr;
  }
  input->context_.reset(context);
  // FFmpeg settles for the best guess once it has probed as much as it may;
  // a guess at or below its own retry score ("misdetection possible") is
  // how rubbish gets taken for a raw format, whose demuxer would then hold
  // the port and read the real stream after it as more of the same. Such a
  // guess counts as not recognised: the bytes are dropped and probing goes
  // on.
  if (known == nullptr && context->probe_score <= AVPROBE_SCORE_RETRY) {
    log::Warning("media", port,
                 "the stream's format is not recognised: only a guess ({}, score {})",
                 context->iformat->name, context->probe_score);
    return nullptr;
  }
  log::Info("media", port, "live stream recognised as {}", context->iformat->name);
  if (std::strcmp(context->iformat->name, "mpegts") == 0) {
    context->flags |= AVFMT_FLAG_NOPARSE;
    input->whole_packets_ = true;
  }
  input->ChooseStreams();
  return input;
}

int MediaInput::ReadBuffer(void* opaque, uint8_t* out, int size) {
  auto* self = static_cast<MediaInput*>(opaque);
  // The lead-in is no unit of the stream and does not count towards one.
  const uint64_t lead_in = self->lead_in_.length();
  if (self->lead_in_read_ < lead_in) {
    const size_t count = static_cast<size_t>(
        std::min<uint64_t>(static_cast<uint64_t>(size), lead_in - self->lead_in_read_));
    self->lead_in_.Read(self->lead_in_read_, out, count);
    self->lead_in_read_ += count;
    return static_cast<int>(count);
  }
  // A unit that never ends would grow the demuxer's memory one for one
  // with the bytes pushed: past the cap the input stops here.
  if (self->unread_unit_bytes_ > kMaxAccessUnitBytes) {
    self->unit_too_large_ = true;
    return AVERROR_EOF;
  }
  const size_t count = self->buffer_->Read(out, static_cast<size_t>(size));
  self->unread_unit_bytes_ += count;
  return count == 0 ? AVERROR_EOF : static_cast<int>(count);
}

void MediaInput::ChooseStreams() {
  if (video_stream_ < 0) {
    int best = av_find_best_stream(context_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (best >= 0) video_stream_ = best;
  }
  if (audio_stream_ < 0) {
    int best =
        av_find_best_stream(context_.get(), AVMEDIA_TYPE_AUDIO, -1, video_stream_, nullptr, 0);
    if (best >= 0) audio_stream_ = best;
  }
  // Live containers may announce no stream yet; take the first of each kind.
  for (unsigned i = 0; i < context_->nb_streams; ++i) {
    const AVCodecParameters* parameters = context_->streams[i]->codecpar;
    if (video_stream_ < 0 && parameters->codec_type == AVMEDIA_TYPE_VIDEO) {
      video_stream_ = static_cast<int>(i);
    }
    if (audio_stream_ < 0 && parameters->codec_type == AVMEDIA_TYPE_AUDIO &&
        parameters->codec_id != AV_CODEC_ID_NONE) {
      audio_stream_ = static_cast<int>(i);
    }
  }
}

double MediaInput::ContainerFrameRate() const {
  if (video_stream_ < 0) return 0.0;
  const AVStream* video = context_->streams[video_stream_];
  AVRational rate = video->avg_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = video->r_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) return 0.0;
  return av_q2d(rate);
}

int MediaInput::Read(AVPacket* packet) {
  int result = av_read_frame(context_.get(), packet);
  if (unit_too_large_) {
    // Whatever the demuxer made of the cut-off unit is dropped with it.
    av_packet_unref(packet);
    log::Warning("media", port_, "an access unit grew beyond {} bytes and is dropped",
                 kMaxAccessUnitBytes);
    return kAccessUnitTooLarge;
  }
  if (result >= 0) {
    unread_unit_bytes_ = 0;
    if (video_stream_ < 0 || audio_stream_ < 0) ChooseStreams();
    if (whole_packets_ && packet->stream_index == video_stream_ &&
        (packet->flags & AV_PKT_FLAG_KEY) == 0 &&
        HoldsKeyFrame(context_->streams[video_stream_]->codecpar->codec_id, packet->data,
                      static_cast<size_t>(packet->size))) {
      packet->flags |= AV_PKT_FLAG_KEY;
    }
  }
  return result;
}

bool MediaInput::SeekToByte(int64_t position) {
  return av_seek_frame(context_.get(), -1, position, AVSEEK_FLAG_BYTE) >= 0;
}

bool MediaInput::SeekToTimestamp(int64_t timestamp) {
  return av_seek_frame(context_.get(), video_stream_, timestamp, AVSEEK_FLAG_BACKWARD) >= 0;
}

bool MediaInput::PrefersByteSeek() const {
  const AVInputFormat* format = context_->iformat;
  if ((format->flags & AVFMT_NO_BYTE_SEEK) != 0) return false;
  return (format->flags & AVFMT_TS_DISCONT) != 0 || (format->flags & AVFMT_GENERIC_INDEX) != 0;
}

}  // namespace qx::media
