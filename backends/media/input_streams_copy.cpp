#include "backends/media/input_streams_copy.h"

#include "core/log.h"

namespace qx::media {

std::unique_ptr<InputStreamsCopy> InputStreamsCopy::Make(int32_t port,
                                                         const AVFormatContext& input) {
  auto copy = std::make_unique<InputStreamsCopy>();
  copy->context_.reset(avformat_alloc_context());
  if (!copy->context_) return nullptr;
  // The kind of demuxer the packets came from, which the recorder asks
  // (freeing the context leaves it alone: it has no demuxer data).
  copy->context_->iformat = input.iformat;
  for (unsigned index = 0; index < input.nb_streams; ++index) {
    const AVStream* source = input.streams[index];
    AVStream* stream = avformat_new_stream(copy->context_.get(), nullptr);
    if (stream == nullptr || avcodec_parameters_copy(stream->codecpar, source->codecpar) < 0) {
      qx::log::Error("record", port, "no memory to copy the parameters of stream {}", index);
      return nullptr;
    }
    stream->time_base = source->time_base;
    stream->avg_frame_rate = source->avg_frame_rate;
    stream->r_frame_rate = source->r_frame_rate;
  }
  return copy;
}

}  // namespace qx::media
