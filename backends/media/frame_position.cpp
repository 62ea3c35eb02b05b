#include "backends/media/frame_position.h"

#include <algorithm>
#include <cmath>

namespace qx::media {

namespace {

// Hundredths as a caller reads them from a position.
int64_t Hundredths(float position) {
  return static_cast<int64_t>(std::trunc(static_cast<double>(position) * 100.0));
}

}  // namespace

uint32_t FrameAtPosition(float position, uint32_t total) {
  if (total == 0) return 0;
  // A float carries the position to within 2^-24 of its value; a tolerance
  // of 2^-22 of the file lies above that error and below one frame for any
  // file of fewer than 4 million frames.
  const double exact = static_cast<double>(position) * total;
  const double tolerance = std::min(0.5, std::ldexp(static_cast<double>(total), -22));
  const double frame = std::ceil(exact - tolerance);
  if (frame <= 0.0) return 0;
  return static_cast<uint32_t>(std::min(frame, static_cast<double>(total - 1)));
}

float PositionOfFrame(uint32_t frame, uint32_t total) {
  if (total == 0) return 0.0F;
  const int64_t wanted = static_cast<int64_t>(frame) * 100 / total;
  float position = static_cast<float>(static_cast<double>(frame) / total);
  // The float nearest to frame/total may lie just below a whole hundredth
  // (249/300 = 0.83 becomes 0.829999983) and would read one hundredth less.
  while (Hundredths(position) < wanted) position = std::nextafter(position, 2.0F);
  while (Hundredths(position) > wanted) position = std::nextafter(position, -1.0F);
  return position;
}

}  // namespace qx::media
