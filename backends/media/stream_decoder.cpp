#include "backends/media/stream_decoder.h"

namespace qx::media {

std::unique_ptr<StreamDecoder> StreamDecoder::Open(const AVStream& stream,
                                                   const DecoderOptions& options) {
  const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
  if (codec == nullptr) return nullptr;
  auto decoder = std::make_unique<StreamDecoder>();
  decoder->context_.reset(avcodec_alloc_context3(codec));
  if (!decoder->context_) return nullptr;
  AVCodecContext* context = decoder->context_.get();
  if (avcodec_parameters_to_context(context, stream.codecpar) < 0) return nullptr;
  context->pkt_timebase = stream.time_base;
  context->thread_count = options.threads;
  context->thread_type =
      options.low_latency ? FF_THREAD_SLICE : (FF_THREAD_FRAME | FF_THREAD_SLICE);
  if (avcodec_open2(context, codec, nullptr) < 0) return nullptr;
  return decoder;
}

}  // namespace qx::media
