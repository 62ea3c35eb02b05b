// What a file's MP4 boxes say of one track's sample table that FFmpeg's
// demuxer does not tell: whether its samples carry composition offsets
// (a ctts box, present when pictures are shown in another order than they
// are decoded), and whether the file is fragmented.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_MP4_SAMPLE_TABLE_H
#define QXPLAYSDK_BACKENDS_MEDIA_MP4_SAMPLE_TABLE_H

#include <cstdint>
#include <optional>
#include <string>

namespace qx::media {

// True when the unfragmented MP4/MOV file at `path` has a track `track_id`
// whose sample table holds no composition offsets, so that its pictures are
// shown in decode order; false when it holds them; nullopt when the file
// is fragmented, has no such track, or its boxes cannot be read.
std::optional<bool> TrackShownInDecodeOrder(const std::string& path, uint32_t track_id);

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_MP4_SAMPLE_TABLE_H
