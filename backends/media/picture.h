// Pictures as the engine hands them on: planar YUV 4:2:0, packed into one
// block for decode notifications, and with the port's colour settings
// applied for display.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_PICTURE_H
#define QXPLAYSDK_BACKENDS_MEDIA_PICTURE_H

#include <cstdint>
#include <vector>

#include "backends/media/ffmpeg.h"

namespace qx::media {

// Display colour of a port. Each value ranges 0..128; 64 (the default)
// leaves the picture as decoded. Brightness adds up to +-128 to the luma,
// contrast scales the luma around mid-grey by value/64, saturation scales
// the chroma by value/64, hue turns the chroma by (value-64)/64 * 180 degrees.
struct ColourSettings {
  static constexpr int kMinimum = 0;
  static constexpr int kMaximum = 128;
  static constexpr int kNeutral = 64;

  int brightness = kNeutral;
  int contrast = kNeutral;
  int saturation = kNeutral;
  int hue = kNeutral;

  static bool InRange(int value) { return value >= kMinimum && value <= kMaximum; }
  bool Valid() const {
    return InRange(brightness) && InRange(contrast) && InRange(saturation) && InRange(hue);
  }
  bool Neutral() const {
    return brightness == kNeutral && contrast == kNeutral && saturation == kNeutral &&
           hue == kNeutral;
  }
};

// Brings decoded pictures to YUV 4:2:0 (8-bit, planar).
class PictureConverter {
 public:
  // A reference to `frame` itself when it is already limited-range 4:2:0
  // planar, otherwise a converted copy in limited range (full-range MJPEG
  // pictures too, so decode notifications, display and snapshots all get
  // the same levels). Null when it cannot be converted.
  FramePtr ToYuv420(const AVFrame& frame);

 private:
  // The scaler is made again only when the pictures change: FFmpeg's cached
  // context never matches the "J" formats of MJPEG (it keeps their range
  // apart from the format), and would be made anew, with a warning, for
  // every picture.
  ScaleContextPtr scaler_;
  int width_ = 0;
  int height_ = 0;
  int format_ = AV_PIX_FMT_NONE;
  bool full_range_ = false;
};

// The picture in one contiguous block: the Y plane (width x height), then
// U and V ((width+1)/2 x (height+1)/2 each), rows without padding.
size_t PackedYuv420Size(int width, int height);
void PackYuv420(const AVFrame& yuv420, std::vector<uint8_t>& out);

// A new picture with the colour settings applied; `yuv420` is left alone.
FramePtr ApplyColour(const AVFrame& yuv420, const ColourSettings& colour);

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_PICTURE_H
