#include "backends/media/stream_decoder.h"

#include <algorithm>

#include "backends/media/address_space.h"
#include "core/log.h"

namespace qx::media {

namespace {

// The threads FFmpeg starts for a decoder: one per core and one more when
// left to choose (at most 16), none for a single thread or a codec that
// does not thread.
int DecodingThreads(const AVCodec& codec, const AVCodecParameters& stream, int asked) {
  if ((codec.capabilities & (AV_CODEC_CAP_FRAME_THREADS | AV_CODEC_CAP_SLICE_THREADS)) == 0) {
    return 0;
  }
  int threads = asked;
  if (threads <= 0) {
    threads = std::min(av_cpu_count() + 1, 16);
    if (stream.height > 0) threads = std::min(threads, (stream.height + 15) / 16 + 1);
  }
  return threads > 1 ? threads : 0;
}

// What a decoder and the port around it need of the address space: the
// decoding threads' stacks, pictures in flight (every thread's, the
// references a codec keeps and the queue to the screen, at up to 3 bytes a
// pixel; an unknown size counts as 1080p) and the port's own threads and
// packets.
uint64_t AddressSpaceNeeded(const AVCodec& codec, const AVCodecParameters& stream, int threads) {
  const uint64_t stack = ThreadStackBytes();
  constexpr uint64_t kPortThreads = 4;
  constexpr uint64_t kPortBuffers = 16u << 20;
  uint64_t needed = static_cast<uint64_t>(threads) * stack + kPortThreads * stack + kPortBuffers;
  if (codec.type == AVMEDIA_TYPE_VIDEO) {
    const uint64_t pixels = stream.width > 0 && stream.height > 0
                                ? static_cast<uint64_t>(stream.width) * stream.height
                                : 1920u * 1080u;
    constexpr uint64_t kPicturesBesideThreads = 20;
    needed += (static_cast<uint64_t>(threads) + kPicturesBesideThreads) * pixels * 3;
  }
  return needed;
}

}  // namespace

std::unique_ptr<StreamDecoder> StreamDecoder::Open(const AVStream& stream,
                                                   const DecoderOptions& options) {
  const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
  if (codec == nullptr) {
    log::Warning("media", log::kNoPort, "FFmpeg has no decoder for {}",
                 avcodec_get_name(stream.codecpar->codec_id));
    return nullptr;
  }
  // Under an address-space limit a decoder that ran out part way could
  // take the process down with it: it is not opened without room to spare.
  if (const std::optional<uint64_t> left = AddressSpaceLeft()) {
    const int threads = DecodingThreads(*codec, *stream.codecpar, options.threads);
    const uint64_t needed = AddressSpaceNeeded(*codec, *stream.codecpar, threads);
    if (*left < needed) {
      log::Error("media", log::kNoPort,
                 "the {} decoder is not opened: {} MiB of address space are left under the "
                 "process's limit, and it needs about {} MiB with its {} threads",
                 codec->name, *left >> 20, needed >> 20, threads);
      return nullptr;
    }
  }
  auto decoder = std::make_unique<StreamDecoder>();
  decoder->context_.reset(avcodec_alloc_context3(codec));
  if (!decoder->context_) return nullptr;
  AVCodecContext* context = decoder->context_.get();
  if (avcodec_parameters_to_context(context, stream.codecpar) < 0) return nullptr;
  context->pkt_timebase = stream.time_base;
  context->thread_count = options.threads;
  context->thread_type =
      options.low_latency ? FF_THREAD_SLICE : (FF_THREAD_FRAME | FF_THREAD_SLICE);
  const int result = avcodec_open2(context, codec, nullptr);
  if (result < 0) {
    log::Warning("media", log::kNoPort, "the {} decoder cannot be opened: {}", codec->name,
                 ErrorText(result));
    return nullptr;
  }
  return decoder;
}

}  // namespace qx::media
