// Whether a packet's bytes hold a picture decoding can start from, read
// from the bitstream itself: for live MPEG-TS, whose packets the engine takes
// whole from the demuxer (one picture per PES packet) without FFmpeg's
// parser, which would otherwise mark key frames but hold every picture back
// until the next one has started.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_KEY_FRAME_SCAN_H
#define QXPLAYSDK_BACKENDS_MEDIA_KEY_FRAME_SCAN_H

#include <cstddef>
#include <cstdint>

#include "backends/media/ffmpeg.h"

namespace qx::media {

// H.264: an IDR slice or a recovery point; H.265: an IRAP picture (BLA,
// IDR, CRA); MPEG-2 video: a sequence header or an I picture; MPEG-4 Part 2:
// a VOL header or an I-VOP. False for other codecs.
bool HoldsKeyFrame(AVCodecID codec, const uint8_t* data, size_t size);

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_KEY_FRAME_SCAN_H
