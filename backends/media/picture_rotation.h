// Rotated recordings: phones and some cameras store pictures sideways and
// say in the stream's display matrix how to turn them. The engine turns
// them upright before anything sees them, so display, snapshots and decode
// notifications all get the picture as it was filmed.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_PICTURE_ROTATION_H
#define QXPLAYSDK_BACKENDS_MEDIA_PICTURE_ROTATION_H

#include "backends/media/ffmpeg.h"
#include "backends/media/picture.h"

namespace qx::media {

// The clockwise turn (0, 90, 180 or 270 degrees) that shows the stream's
// pictures upright: 0 without a display matrix, and for a matrix that is
// not a quarter turn (a mirror, or an odd angle), which is logged.
int UprightTurn(const AVStream& stream, int port);

// A new 4:2:0 planar picture: `yuv420` turned clockwise by `degrees` (90,
// 180 or 270); a quarter turn swaps width and height. Null when out of
// memory.
FramePtr TurnYuv420(const AVFrame& yuv420, int degrees);

// A decoded picture as it is presented: converted to limited-range 4:2:0
// planar and turned upright by `turn` clockwise degrees (0: as stored).
// Null when it cannot be converted.
FramePtr UprightYuv420(PictureConverter& converter, const AVFrame& decoded, int turn);

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_PICTURE_ROTATION_H
