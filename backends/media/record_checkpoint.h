// Where a stopped MPEG-TS recording stood before its last pictures were
// drained, so that a start that follows at once (a switch made of a stop and
// a start) can carry the same file on up to the next key frame.
//
// A stop must leave every pushed picture in the file, so it ends the
// stream's input and drains the demuxer; the last picture it gets that way
// may be cut short when the caller's block ended inside it. A switch must
// instead go on with the whole picture. The checkpoint lets the file be cut
// back to before the drained pictures and continued from the stream's bytes
// again (kept from the key frame before last), skipping what it holds.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_RECORD_CHECKPOINT_H
#define QXPLAYSDK_BACKENDS_MEDIA_RECORD_CHECKPOINT_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "backends/media/anchor_times.h"
#include "backends/media/ffmpeg.h"
#include "backends/media/picture_order.h"
#include "backends/media/record_formats.h"

namespace qx::media {

struct CodecParametersDeleter {
  void operator()(AVCodecParameters* parameters) const { avcodec_parameters_free(&parameters); }
};
using CodecParametersPtr = std::unique_ptr<AVCodecParameters, CodecParametersDeleter>;

// Where one recorded stream's timestamps stand: what a file carried on
// after a stop needs to continue them.
struct StreamTiming {
  int input_index = -1;
  // The stream's id in its container (MPEG-TS PID, MPEG-PS stream id):
  // a reader of the same stream from elsewhere may number the streams in
  // another order (MPEG-PS numbers them as they first appear).
  int input_id = -1;
  AVRational input_time_base{1, 1};
  int64_t next_dts = 0;  // in the input time base, for packets without timestamps
  int64_t frame_duration = 0;
  int64_t rebase = 0;                       // added to the input's timestamps after a restart
  int64_t last_dts = AV_NOPTS_VALUE;        // last written, in the input time base
  int64_t last_input_dts = AV_NOPTS_VALUE;  // the same as the input gave it
  int dropped_header_bytes = 0;             // see RecordedSound
};

struct RecordCheckpoint {
  struct Stream : StreamTiming {
    CodecParametersPtr parameters;
  };
  std::string path;
  RecordContainer container = RecordContainer::kMpegTs;
  int64_t file_size = 0;  // the file's length before the drained pictures
  // Matroska: the header's length, which a muxer carrying the file on
  // writes again in place (with the same streams, the same length).
  int64_t header_size = 0;
  int64_t start_us = 0;
  std::vector<Stream> streams;
  uint64_t last_picture = 0;            // fingerprint of the last picture kept
  std::vector<uint64_t> kept_pictures;  // fingerprints since the key frame before last
  // Raw H.264: where the current group's pictures are shown.
  std::shared_ptr<PictureOrder> picture_order;
  // MPEG-4 Part 2 without presentation times: the pictures read but not
  // yet written (their anchor waits for the next); a file port's file
  // carried on writes them, a live stream reads them again.
  std::shared_ptr<const AnchorTimes> anchor_times;
};

// Fingerprint of a packet's bytes (FNV-1a), to find it again in a second
// reading of the same bytes.
uint64_t PacketFingerprint(const AVPacket& packet);

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_RECORD_CHECKPOINT_H
