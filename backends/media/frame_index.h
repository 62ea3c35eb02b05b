// The index of a file's video packets, built once when the file is opened:
// the exact frame count, each frame's number in presentation order, its
// timestamp, and the key frame from which any frame can be decoded.
//
// Frame numbers count from 0 in presentation order. When every packet has a
// presentation timestamp, a decoded frame is numbered by its timestamp's
// rank (where the file's clock goes back part way, each part's times are
// moved after the part before: see TimelineUnwrap). Otherwise (raw
// elementary streams, MPEG-4 Part 2 in AVI) the pictures' own headers give
// the order (H.264/H.265 order counts, MPEG B-pictures): the port then tags
// each packet it decodes with its decode index, which the decoder hands
// back on the picture. Other codecs without timestamps are numbered in
// decode order.
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
#include "backends/media/packed_int64s.h"

namespace qx::media {

class MediaInput;
class PresentationOrderScan;
class FirstShownPicture;
class FrameIndexBuilder;

// What the index knows of one packet. The decode time is kept for key
// packets, and for all when packets are recognised by it (see DecodeIndexOf);
// the presentation time for all when frames are numbered by it (in a file
// whose clock does not go back), for key packets otherwise.
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

  // Frames shown; pictures decoded only to reach them (an MP4 cut after a
  // key frame, whose edit list starts later) or not at all (before the first
  // key frame of a file cut in the middle of a group of pictures) are not
  // counted, and the first frame shown is frame 0.
  uint32_t frame_count() const {
    return packet_count() - static_cast<uint32_t>(hidden_ranks_.size());
  }
  bool numbered_by_timestamp() const { return by_timestamp_; }
  IndexedPacket packet(uint32_t decode_index) const;

  // The decode-order index of a video packet read from the file, when the
  // packet can be recognised (by byte offset or decode timestamp).
  std::optional<uint32_t> DecodeIndexOf(const AVPacket& packet) const;
  // The byte offset to seek to for reading a packet: that of a packet
  // shortly before it; -1 when none near it has one.
  int64_t SeekPositionFor(uint32_t decode_index) const;
  // Where the file's clock goes back: what each part's times are moved by
  // (see TimelineUnwrap), in the order of the parts; otherwise just 0.
  const std::vector<int64_t>& part_shifts() const { return part_shifts_; }
  // A packet's presentation time as frames are numbered by it (moved, where
  // the clock goes back); AV_NOPTS_VALUE when frames are not numbered by
  // times.
  int64_t MovedTimeOfPacket(uint32_t decode_index) const;
  // The frame number of a decoded frame with this presentation timestamp
  // (nothing when the file's clock goes back: see numbered_by_decode_index).
  std::optional<uint32_t> FrameNumberOfTimestamp(int64_t pts) const;
  // Whether decoded pictures are numbered through their packet's decode
  // index (FrameNumberOfDecodedPacket) rather than their timestamp: when
  // their order comes from their headers, or the file's clock goes back
  // part way (two pictures may then share a time).
  bool numbered_by_decode_index() const { return by_picture_headers_ || times_go_back_; }
  // The frame number of a decoded picture tagged with its packet's decode
  // index, when the index numbers pictures that way.
  std::optional<uint32_t> FrameNumberOfDecodedPacket(int64_t decode_index) const;
  // The frame number of the picture carried by a packet.
  uint32_t FrameNumberOfPacket(uint32_t decode_index) const;
  // The decode-order index of the key frame to start decoding from to reach
  // `frame`: the key frame shown last before it (or as it).
  uint32_t KeyPacketFor(uint32_t frame) const;
  // The first frame's presentation timestamp (in the stream's time base)
  // when frames are numbered by timestamp, AV_NOPTS_VALUE otherwise.
  int64_t FirstTimestamp() const {
    return frame_count() > 0 && !sorted_pts_.empty() ? sorted_pts_[RankOfFrame(0)] : AV_NOPTS_VALUE;
  }
  // Bytes the index holds.
  size_t MemoryBytes() const;
  // A frame's timestamp in milliseconds from the first frame.
  int64_t TimestampMs(uint32_t frame, double frame_rate) const;

 private:
  friend class FrameIndexBuilder;

  // A key packet: where decoding can start.
  struct KeyPacket {
    uint32_t packet = 0;  // decode index
    uint32_t frame = 0;   // its rank in presentation order
    int64_t dts = AV_NOPTS_VALUE;
    int64_t pts = AV_NOPTS_VALUE;
  };
  // A frame number that lies too far from its packet's decode index for
  // frame_shift_ to hold the difference.
  static constexpr int8_t kFarShift = INT8_MIN;

  uint32_t packet_count() const { return static_cast<uint32_t>(positions_.size()); }
  // Takes note of the next packet in decode order; `discard`: the file says
  // its picture is decoded but never shown.
  void Add(int64_t position, int64_t dts, int64_t pts, bool key, bool discard);
  // Whether the first packets `input` reads are the first ones added, their
  // presentation times all shifted alike (then the index takes the shift).
  bool MatchFirstPackets(MediaInput& input);
  // Everything else from the packets added (and the pictures' order, when
  // scanned); what was only needed for it is dropped.
  void Complete(PresentationOrderScan* order_scan, const FirstShownPicture* first_shown);
  void NumberFrames(const std::vector<uint32_t>& frame_of_packet);
  // `first_shown`: what a decoder showed of the first pictures, when it
  // was asked (see FirstShownPicture).
  void HideUnshownFrames(const std::vector<uint32_t>& frame_of_packet,
                         const FirstShownPicture* first_shown);
  void HideWhatADecoderSkips(const std::vector<uint32_t>& frame_of_packet,
                             const FirstShownPicture& first_shown, std::vector<bool>& hidden) const;
  void IndexPositions();
  // A packet's picture's rank in presentation order, hidden frames included.
  uint32_t RankOfPacket(uint32_t decode_index) const;
  // The rank of a frame (frame numbers leave the hidden ranks out), and
  // back: the number of the first frame at or after a rank.
  uint32_t RankOfFrame(uint32_t frame) const;
  uint32_t FrameAtOrAfterRank(uint32_t rank) const;
  bool RankHidden(uint32_t rank) const;
  // The key packet record of a packet, null for any other.
  const KeyPacket* KeyAt(uint32_t decode_index) const;
  int64_t PositionOf(uint32_t decode_index) const;

  // Byte offsets in decode order. An unknown offset is held as the last
  // known one (so the sequence stays ordered where the known ones are) and
  // marked in position_unknown_.
  PackedInt64s positions_;
  std::vector<bool> position_unknown_;
  int64_t last_position_ = -1;
  // Decode times in decode order: kept only when packets are recognised by
  // them.
  PackedInt64s dts_;
  // Presentation times in decode order, only while the index is built.
  PackedInt64s pts_;
  int64_t pts_shift_ = 0;
  std::vector<bool> marked_key_;  // while the index is built
  std::vector<bool> discarded_;   // never shown; while the index is built
  // Pictures decoded but never shown, by rank in presentation order
  // (sorted; all among the file's first pictures): they have no frame
  // number.
  std::vector<uint32_t> hidden_ranks_;
  PackedInt64s sorted_pts_;  // presentation order, when numbered by them
  // Frame number minus decode index, per packet: pictures are shown close to
  // where they are decoded. kFarShift sends to far_frames_.
  std::vector<int8_t> frame_shift_;
  std::vector<std::pair<uint32_t, uint32_t>> far_frames_;  // decode index, frame
  std::vector<KeyPacket> keys_;                            // decode order; the first packet always
  bool first_packet_marked_key_ = false;
  // Decode indices sorted by byte offset; kept only when the known offsets
  // do not increase in decode order (positions_ itself is searched then).
  std::vector<uint32_t> by_position_;
  bool by_timestamp_ = false;
  bool by_picture_headers_ = false;
  bool times_go_back_ = false;
  std::vector<int64_t> part_shifts_{0};
  bool positions_unique_ = false;
  bool positions_increasing_ = false;
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
  std::unique_ptr<FirstShownPicture> first_shown_;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_FRAME_INDEX_H
