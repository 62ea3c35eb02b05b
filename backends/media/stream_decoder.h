// A decoder for one video or audio stream.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_STREAM_DECODER_H
#define QXPLAYSDK_BACKENDS_MEDIA_STREAM_DECODER_H

#include <memory>

#include "backends/media/ffmpeg.h"

namespace qx::media {

struct DecoderOptions {
  // Decoding threads; 0 lets FFmpeg choose one per core.
  int threads = 0;
  // Live streams decode with slice threads only, so that no picture waits
  // for later packets to fill a frame-thread pipeline.
  bool low_latency = false;
};

class StreamDecoder {
 public:
  // Null (and the log says why) when FFmpeg has no decoder for the stream,
  // it cannot be opened, or the address space left under the process's
  // limit could not hold it (see address_space.h).
  static std::unique_ptr<StreamDecoder> Open(const AVStream& stream, const DecoderOptions& options);

  // FFmpeg's send/receive conventions: 0, AVERROR(EAGAIN), AVERROR_EOF or
  // another error. A null packet starts draining.
  int Send(const AVPacket* packet) { return avcodec_send_packet(context_.get(), packet); }
  int Receive(AVFrame* frame) { return avcodec_receive_frame(context_.get(), frame); }
  // Forgets every packet and frame in flight (after a seek).
  void Flush() { avcodec_flush_buffers(context_.get()); }

  const AVCodecContext& context() const { return *context_; }

 private:
  CodecContextPtr context_;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_STREAM_DECODER_H
