// FFmpeg's C headers for the engine, and owning pointers for its objects.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_FFMPEG_H
#define QXPLAYSDK_BACKENDS_MEDIA_FFMPEG_H

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/channel_layout.h>
#include <libavutil/cpu.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <new>
#include <string>

namespace qx::media {

struct PacketDeleter {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct CodecContextDeleter {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct InputContextDeleter {
  void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct ScaleContextDeleter {
  void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct ResampleContextDeleter {
  void operator()(SwrContext* context) const { swr_free(&context); }
};

using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;
using ScaleContextPtr = std::unique_ptr<SwsContext, ScaleContextDeleter>;
using ResampleContextPtr = std::unique_ptr<SwrContext, ResampleContextDeleter>;

// Never null: with no memory left they throw std::bad_alloc, which the
// thread or C call running them turns into a failure (callers dereference
// them at once).
inline PacketPtr MakePacket() {
  PacketPtr packet(av_packet_alloc());
  if (!packet) throw std::bad_alloc();
  return packet;
}
inline FramePtr MakeFrame() {
  FramePtr frame(av_frame_alloc());
  if (!frame) throw std::bad_alloc();
  return frame;
}

// A new reference to the same picture, or null when it cannot be made.
inline FramePtr RefFrame(const AVFrame* source) {
  FramePtr copy = MakeFrame();
  if (copy && av_frame_ref(copy.get(), source) < 0) copy.reset();
  return copy;
}

// Microseconds as a time base (FFmpeg's AV_TIME_BASE_Q is a C compound
// literal).
inline constexpr AVRational kMicroseconds{1, AV_TIME_BASE};

// A new reference to the same packet, or null when it cannot be made.
inline PacketPtr RefPacket(const AVPacket& source) {
  PacketPtr copy = MakePacket();
  if (copy && av_packet_ref(copy.get(), &source) < 0) copy.reset();
  return copy;
}

// Whether a decoded picture is a key frame. FFmpeg 6.1 moved the mark into
// the frame's flags and deprecated the older field; FFmpeg 5.1 has only the
// field.
inline bool IsKeyFrame(const AVFrame& frame) {
#ifdef AV_FRAME_FLAG_KEY
  return (frame.flags & AV_FRAME_FLAG_KEY) != 0;
#else
  return frame.key_frame != 0;
#endif
}

// FFmpeg's text for an error code.
inline std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// Timestamp in `time_base` units converted to milliseconds.
inline int64_t ToMilliseconds(int64_t value, AVRational time_base) {
  return av_rescale_q(value, time_base, AVRational{1, 1000});
}

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_FFMPEG_H
