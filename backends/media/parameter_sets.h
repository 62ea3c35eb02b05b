// The H.264/H.265 parameter sets a live stream has carried so far.
//
// Many encoders (x265's default, some cameras) send their parameter sets
// (H.264: SPS, PPS; H.265: VPS, SPS, PPS) once, at the start of the stream,
// and not again at later key frames. A recording file that begins at such a
// key frame could not be decoded on its own: the sets the stream carried
// before are put in front of it. Every key frame of a recording gets them,
// so that a player can start from any key frame of the file.
//
// Only Annex B packets (start codes: MPEG-TS, MPEG-PS, raw streams) are
// looked at; MP4 and Matroska carry the sets in their header.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_PARAMETER_SETS_H
#define QXPLAYSDK_BACKENDS_MEDIA_PARAMETER_SETS_H

#include <cstdint>
#include <map>
#include <vector>

#include "backends/media/ffmpeg.h"

namespace qx::media {

class ParameterSetMemory {
 public:
  // Remembers the parameter sets of a video packet: of each kind the packet
  // carries, its sets replace those kept (a stream may send its PPS apart
  // from its SPS).
  void Observe(AVCodecID codec, const AVPacket& packet);
  // The key frame with every kind of set kept that it lacks put in front
  // (after an access unit delimiter, which must come first); null when it
  // lacks none, or is no Annex B H.264/H.265 packet.
  PacketPtr Completed(AVCodecID codec, const AVPacket& key) const;
  // Every set kept, each with its start code: the head of a raw stream that
  // is read again from a key frame (a reader recognises raw H.265 by its
  // sets).
  std::vector<uint8_t> AnnexB() const;
  // Whether the raw stream's bytes carry an SPS before their first picture.
  static bool LeadsWithSets(AVCodecID codec, const uint8_t* data, size_t size);

 private:
  // By NAL unit type, each set with its start code.
  std::map<int, std::vector<std::vector<uint8_t>>> sets_;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_PARAMETER_SETS_H
