// A file's position as the player library gives and takes it: a fraction of
// the file, 0 at the first frame, carried as a single-precision float.
//
// Callers count positions in hundredths (the fraction times 100, truncated),
// so both directions are built to survive that trip exactly: a frame's
// position reads back as its hundredths, floor(frame * 100 / total), and
// the position of P hundredths lands on the first frame at or after P/100,
// which reads back as P again whenever the file has at least 100 frames
// (fewer frames than hundredths leave some hundredths without a frame of
// their own). 1.0, the end, lands on the last frame.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_FRAME_POSITION_H
#define QXPLAYSDK_BACKENDS_MEDIA_FRAME_POSITION_H

#include <cstdint>

namespace qx::media {

// The first frame at or after `position` (0..1) of `total` frames (> 0),
// no later than the last frame. Positions within a float's rounding of a
// frame's exact position count as that frame's.
uint32_t FrameAtPosition(float position, uint32_t total);

// The position of `frame`: the float closest to frame/total whose hundredths
// (times 100 in double precision, truncated) are those of frame/total.
float PositionOfFrame(uint32_t frame, uint32_t total);

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_FRAME_POSITION_H
