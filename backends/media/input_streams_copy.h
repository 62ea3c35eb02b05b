// A copy of what a recorder reads from a demuxer's streams (their codec
// parameters, time bases and frame rates, and the demuxer's kind), taken on the thread that reads
// the demuxer, so that packets held back can be written into a file later
// from another thread without touching a demuxer that goes on reading.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_INPUT_STREAMS_COPY_H
#define QXPLAYSDK_BACKENDS_MEDIA_INPUT_STREAMS_COPY_H

#include <cstdint>
#include <memory>

#include "backends/media/ffmpeg.h"

namespace qx::media {

class InputStreamsCopy {
 public:
  // Null when memory runs out. `port` names the copy in log lines only.
  static std::unique_ptr<InputStreamsCopy> Make(int32_t port, const AVFormatContext& input);

  // A context holding the copied streams at the input's indexes, for
  // StreamRecorder::Write; it has no demuxer and reads nothing.
  const AVFormatContext& context() const { return *context_; }

 private:
  struct ContextDeleter {
    void operator()(AVFormatContext* context) const { avformat_free_context(context); }
  };
  std::unique_ptr<AVFormatContext, ContextDeleter> context_;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_INPUT_STREAMS_COPY_H
