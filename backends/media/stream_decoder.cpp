#include "backends/media/stream_decoder.h"

#include <sys/resource.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace qx::media {
namespace {

// Below this much address space left, decoders run on one thread.
constexpr uint64_t kThreadsNeedKb = uint64_t{1} << 20;  // 1 GiB

// Whether the process runs under an address-space limit (RLIMIT_AS) that
// leaves little room. FFmpeg's decoding threads cannot recover from an
// allocation that fails (closing such a decoder can abort the process), and
// allocations fail in practice only under such a limit: there a decoder
// runs on the caller's thread alone.
bool AddressSpaceIsShort() {
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return false;
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmSize:", 0) != 0) continue;
    const uint64_t used_kb = std::strtoull(line.c_str() + 7, nullptr, 10);
    const uint64_t limit_kb = static_cast<uint64_t>(limit.rlim_cur) / 1024;
    return limit_kb < used_kb + kThreadsNeedKb;
  }
  return true;  // cannot tell: the safe choice
}

}  // namespace

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
  context->thread_count = AddressSpaceIsShort() ? 1 : options.threads;
  context->thread_type =
      options.low_latency ? FF_THREAD_SLICE : (FF_THREAD_FRAME | FF_THREAD_SLICE);
  if (avcodec_open2(context, codec, nullptr) < 0) return nullptr;
  return decoder;
}

}  // namespace qx::media
