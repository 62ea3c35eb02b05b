// The index of a file's video packets, built once when the file is opened:
// the exact frame count, each frame's number in presentation order, its
// timestamp, and the key frame from which any frame can be decoded.
//
// Frame numbers count from 0 in presentation order. When every packet has a
// presentation timestamp, a decoded frame is numbered by its timestamp's
// rank. Otherwise (raw elementary streams, MPEG-4 Part 2 in AVI) the
// pictures' own headers give the order (H.264/H.265 order counts, MPEG
// B-pictures): the port then tags each packet it decodes with its decode
// index, which the decoder hands back on the picture. Other codecs without
// timestamps are numbered in decode order.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_FRAME_INDEX_H
#define QXPLAYSDK_BACKENDS_MEDIA_FRAME_INDEX_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "backends/media/ffmpeg.h"

namespace qx::media {

class MediaInput;
class PresentationOrderScan;
class FrameIndexBuilder;

struct IndexedPacket {
  int64_t position = -1;  // byte offset in the file, -1 unknown
  int64_t dts = AV_NOPTS_VALUE;
  int64_t pts = AV_NOPTS_VALUE;
  bool key = false;
};

class FrameIndex {
 public:
  // Reads every packet of `input` (freshly opened, not read yet) and indexes
  // those of its video stream.
  static FrameIndex Build(MediaInput& input);
  // The same index from an MP4/MOV file's own sample table, read when the
  // file was opened, and its composition offsets, reading only the first
  // packets of `input` (freshly opened) to check them against it. Nullopt
  // for fragmented and other files, or when the packets differ; `input`
  // may then have been read from, if it HasSampleTable.
  static std::optional<FrameIndex> FromContainer(MediaInput& input, const std::string& path);
  // Whether `input` is an MP4/MOV whose video has a sample table.
  static bool HasSampleTable(const MediaInput& input);

  uint32_t frame_count() const { return static_cast<uint32_t>(packets_.size()); }
  bool numbered_by_timestamp() const { return by_timestamp_; }
  const IndexedPacket& packet(uint32_t decode_index) const { return packets_[decode_index]; }

  // The decode-order index of a video packet read from the file, when the
  // packet can be recognised (by byte offset or decode timestamp).
  std::optional<uint32_t> DecodeIndexOf(const AVPacket& packet) const;
  // The byte offset to seek to for reading a packet: that of a packet
  // shortly before it; -1 when none near it has one.
  int64_t SeekPositionFor(uint32_t decode_index) const;
  // The frame number of a decoded frame with this presentation timestamp.
  std::optional<uint32_t> FrameNumberOfTimestamp(int64_t pts) const;
  // Whether decoded pictures are numbered through their packet's decode
  // index (FrameNumberOfDecodedPacket) rather than their timestamp.
  bool numbered_by_picture_headers() const { return by_picture_headers_; }
  // The frame number of a decoded picture tagged with its packet's decode
  // index, when the index numbers pictures that way.
  std::optional<uint32_t> FrameNumberOfDecodedPacket(int64_t decode_index) const;
  // The frame number of the picture carried by a packet.
  uint32_t FrameNumberOfPacket(uint32_t decode_index) const;
  // The decode-order index of the key frame to start decoding from to reach
  // `frame`: the last key frame that is not shown after it.
  uint32_t KeyPacketFor(uint32_t frame) const;
  // The first frame's presentation timestamp (in the stream's time base)
  // when frames are numbered by timestamp, AV_NOPTS_VALUE otherwise.
  int64_t FirstTimestamp() const {
    return sorted_pts_.empty() ? AV_NOPTS_VALUE : sorted_pts_.front();
  }
  // Bytes the index holds.
  size_t MemoryBytes() const {
    return packets_.capacity() * sizeof(IndexedPacket) + sorted_pts_.capacity() * sizeof(int64_t) +
           frame_of_packet_.capacity() * sizeof(uint32_t) +
           key_packets_.capacity() * sizeof(uint32_t) +
           by_position_.capacity() * sizeof(by_position_[0]);
  }
  // A frame's timestamp in milliseconds from the first frame.
  int64_t TimestampMs(uint32_t frame, double frame_rate) const;

 private:
  friend class FrameIndexBuilder;

  // Whether the first packets `input` reads are packets_'s first ones, their
  // presentation times all shifted alike (then packets_ takes the shift).
  bool MatchFirstPackets(MediaInput& input);
  // Everything else from packets_ (and the pictures' order, when scanned).
  void Complete(PresentationOrderScan* order_scan);

  std::vector<IndexedPacket> packets_;     // decode order
  std::vector<int64_t> sorted_pts_;        // presentation order
  std::vector<uint32_t> frame_of_packet_;  // decode index -> frame number
  std::vector<uint32_t> key_packets_;      // decode indices of key frames
  // Byte offset -> decode index, sorted; kept only when the offsets do not
  // increase in decode order (then packets_ itself is searched).
  std::vector<std::pair<int64_t, uint32_t>> by_position_;
  bool by_timestamp_ = false;
  bool by_picture_headers_ = false;
  bool positions_unique_ = false;
  bool dts_increasing_ = false;
  AVRational time_base_{1, 1000};
};

// Builds a FrameIndex from packets as they are read, so that the reading can
// be done piecemeal (on a thread of its own, stopping when told to).
class FrameIndexBuilder {
 public:
  // For the video stream of `input`, which must outlive the builder.
  explicit FrameIndexBuilder(const MediaInput& input);
  ~FrameIndexBuilder();
  FrameIndexBuilder(const FrameIndexBuilder&) = delete;
  FrameIndexBuilder& operator=(const FrameIndexBuilder&) = delete;

  // Takes note of a packet read from the input; other streams' packets are
  // passed over. True when it was a video packet.
  bool Add(const AVPacket& packet);
  // The index of every video packet added.
  FrameIndex Finish();

 private:
  const int video_;
  FrameIndex index_;
  std::unique_ptr<PresentationOrderScan> order_scan_;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_FRAME_INDEX_H
