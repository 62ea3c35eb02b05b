// Which codecs each recording container carries, and the stream
// parameters a muxer needs that a live stream's reader may not know yet.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_RECORD_FORMATS_H
#define QXPLAYSDK_BACKENDS_MEDIA_RECORD_FORMATS_H

#include "backends/media/ffmpeg.h"

namespace qx::media {

// kMpegTs asks for MPEG-TS and falls back to Matroska for codecs MPEG-TS
// cannot carry (VP8/VP9/AV1/MJPEG/H.263 video; PCM, G.711 sound).
enum class RecordContainer { kMpegTs, k3gp, kMatroska };

bool SoundFitsContainer(RecordContainer container, AVCodecID codec);

// How a sound stream goes into a recording: as it is, or, for DVD LPCM of
// 16 bits (MPEG-PS), as plain big-endian PCM, each packet without the
// 3-byte header no muxer takes (the samples themselves are unchanged).
struct RecordedSound {
  AVCodecID codec = AV_CODEC_ID_NONE;
  int dropped_header_bytes = 0;
};
RecordedSound RecordedSoundOf(const AVCodecParameters& sound);
bool VideoFitsMpegTs(AVCodecID codec);
// The sound's rate and channels are known.
bool SoundFormatKnown(const AVCodecParameters& audio);

// Containers read from a live stream without analysing it ahead may leave a
// picture's size (MPEG-4 Part 2 and H.263 in 3GP) or the sound's rate and
// channels unknown; muxers need them. One packet, decoded once, tells them.
// False when it cannot be decoded.
bool FillPictureSize(AVCodecParameters* parameters, const AVPacket& key);
// A live stream's reader leaves the video's setup (H.264/H.265 parameter
// sets, in the stream itself) out of its parameters; Matroska needs it in
// the file's header. Taken from the first key frame; false when it holds
// none.
bool FillVideoSetup(AVCodecParameters* parameters, const AVPacket& key);
bool FillSoundFormat(AVCodecParameters* parameters, const AVPacket& packet);
// The stream's reorder delay (pictures decoded before the first is shown),
// as the decoder reads it from the key frame's sequence header.
bool FillReorderDelay(AVCodecParameters* parameters, const AVPacket& key);

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_RECORD_FORMATS_H
