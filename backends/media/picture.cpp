#include "backends/media/picture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

namespace qx::media {

namespace {

// Full-range pictures (MJPEG's, marked by their "J" formats or by their
// colour range) have luma 0..255 where every other source has 16..235.
bool IsFullRange(const AVFrame& frame) {
  return frame.color_range == AVCOL_RANGE_JPEG || frame.format == AV_PIX_FMT_YUVJ420P ||
         frame.format == AV_PIX_FMT_YUVJ422P || frame.format == AV_PIX_FMT_YUVJ444P ||
         frame.format == AV_PIX_FMT_YUVJ440P || frame.format == AV_PIX_FMT_YUVJ411P;
}

void CopyPlane(const uint8_t* source, int stride, int width, int height, uint8_t* out) {
  for (int row = 0; row < height; ++row) {
    std::memcpy(out + static_cast<size_t>(row) * width,
                source + static_cast<ptrdiff_t>(row) * stride, static_cast<size_t>(width));
  }
}

}  // namespace

FramePtr PictureConverter::ToYuv420(const AVFrame& frame) {
  const bool full_range = IsFullRange(frame);
  if (frame.format == AV_PIX_FMT_YUV420P && !full_range) return RefFrame(&frame);
  if (!scaler_ || frame.width != width_ || frame.height != height_ || frame.format != format_ ||
      full_range != full_range_) {
    scaler_.reset(sws_getContext(
        frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), frame.width,
        frame.height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler_) return nullptr;
    // Limited range out, whatever the range in, as every other source gives.
    const int* coefficients = sws_getCoefficients(SWS_CS_DEFAULT);
    sws_setColorspaceDetails(scaler_.get(), coefficients, full_range ? 1 : 0, coefficients, 0, 0,
                             1 << 16, 1 << 16);
    width_ = frame.width;
    height_ = frame.height;
    format_ = frame.format;
    full_range_ = full_range;
  }
  FramePtr converted = MakeFrame();
  converted->format = AV_PIX_FMT_YUV420P;
  converted->width = frame.width;
  converted->height = frame.height;
  if (av_frame_get_buffer(converted.get(), 0) < 0) return nullptr;
  sws_scale(scaler_.get(), frame.data, frame.linesize, 0, frame.height, converted->data,
            converted->linesize);
  av_frame_copy_props(converted.get(), &frame);
  converted->color_range = AVCOL_RANGE_MPEG;
  return converted;
}

size_t PackedYuv420Size(int width, int height) {
  const auto luma = static_cast<size_t>(width) * static_cast<size_t>(height);
  const auto chroma = static_cast<size_t>((width + 1) / 2) * static_cast<size_t>((height + 1) / 2);
  return luma + 2 * chroma;
}

void PackYuv420(const AVFrame& yuv420, std::vector<uint8_t>& out) {
  const int width = yuv420.width;
  const int height = yuv420.height;
  const int chroma_width = (width + 1) / 2;
  const int chroma_height = (height + 1) / 2;
  out.resize(PackedYuv420Size(width, height));
  uint8_t* cursor = out.data();
  CopyPlane(yuv420.data[0], yuv420.linesize[0], width, height, cursor);
  cursor += static_cast<size_t>(width) * height;
  CopyPlane(yuv420.data[1], yuv420.linesize[1], chroma_width, chroma_height, cursor);
  cursor += static_cast<size_t>(chroma_width) * chroma_height;
  CopyPlane(yuv420.data[2], yuv420.linesize[2], chroma_width, chroma_height, cursor);
}

FramePtr ApplyColour(const AVFrame& yuv420, const ColourSettings& colour) {
  FramePtr adjusted = MakeFrame();
  adjusted->format = yuv420.format;
  adjusted->width = yuv420.width;
  adjusted->height = yuv420.height;
  if (av_frame_get_buffer(adjusted.get(), 0) < 0 || av_frame_copy(adjusted.get(), &yuv420) < 0) {
    return nullptr;
  }
  av_frame_copy_props(adjusted.get(), &yuv420);

  std::array<uint8_t, 256> luma{};
  const double gain = colour.contrast / static_cast<double>(ColourSettings::kNeutral);
  const int offset = (colour.brightness - ColourSettings::kNeutral) * 2;
  for (int value = 0; value < 256; ++value) {
    const double mapped = (value - 128) * gain + 128 + offset;
    luma[static_cast<size_t>(value)] =
        static_cast<uint8_t>(std::clamp(static_cast<int>(std::lround(mapped)), 0, 255));
  }
  for (int row = 0; row < adjusted->height; ++row) {
    uint8_t* line = adjusted->data[0] + static_cast<ptrdiff_t>(row) * adjusted->linesize[0];
    for (int x = 0; x < adjusted->width; ++x) line[x] = luma[line[x]];
  }

  const double scale = colour.saturation / static_cast<double>(ColourSettings::kNeutral);
  const double angle = (colour.hue - ColourSettings::kNeutral) /
                       static_cast<double>(ColourSettings::kNeutral) * std::numbers::pi;
  const double turn_cos = std::cos(angle) * scale;
  const double turn_sin = std::sin(angle) * scale;
  const int chroma_width = (adjusted->width + 1) / 2;
  const int chroma_height = (adjusted->height + 1) / 2;
  for (int row = 0; row < chroma_height; ++row) {
    uint8_t* u_line = adjusted->data[1] + static_cast<ptrdiff_t>(row) * adjusted->linesize[1];
    uint8_t* v_line = adjusted->data[2] + static_cast<ptrdiff_t>(row) * adjusted->linesize[2];
    for (int x = 0; x < chroma_width; ++x) {
      const double u = u_line[x] - 128.0;
      const double v = v_line[x] - 128.0;
      const double new_u = u * turn_cos - v * turn_sin + 128.0;
      const double new_v = u * turn_sin + v * turn_cos + 128.0;
      u_line[x] = static_cast<uint8_t>(std::clamp(static_cast<int>(std::lround(new_u)), 0, 255));
      v_line[x] = static_cast<uint8_t>(std::clamp(static_cast<int>(std::lround(new_v)), 0, 255));
    }
  }
  return adjusted;
}

}  // namespace qx::media
