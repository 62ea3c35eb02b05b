// What a file's MP4 boxes say of one track's sample table that FFmpeg's
// demuxer does not tell: its samples' composition offsets (a ctts box,
// present when pictures are shown in another order than they are decoded),
// and whether the file is fragmented.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_MP4_SAMPLE_TABLE_H
#define QXPLAYSDK_BACKENDS_MEDIA_MP4_SAMPLE_TABLE_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qx::media {

// A run of samples, in decode order, with the same composition offset (the
// time a picture is shown minus the time it is decoded, in the track's time
// base).
struct CompositionRun {
  uint32_t count = 0;
  int32_t offset = 0;
};

// The composition offsets of track `track_id` of the unfragmented MP4/MOV
// file at `path`: no runs when the track has none (its pictures are shown
// in decode order); nullopt when the file is fragmented, has no such track,
// or its boxes cannot be read.
std::optional<std::vector<CompositionRun>> TrackCompositionOffsets(const std::string& path,
                                                                   uint32_t track_id);

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_MP4_SAMPLE_TABLE_H
