#include "backends/media/frame_index.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <utility>

#include "backends/media/media_input.h"
#include "backends/media/mp4_sample_table.h"
#include "backends/media/presentation_order.h"

namespace qx::media {

FrameIndex FrameIndex::Build(MediaInput& input) {
  FrameIndex index;
  const int video = input.video_stream();
  index.time_base_ = input.stream(video)->time_base;
  std::unique_ptr<PresentationOrderScan> order_scan =
      PresentationOrderScan::For(*input.stream(video)->codecpar);
  PacketPtr packet = MakePacket();
  while (input.Read(packet.get()) >= 0) {
    if (packet->stream_index == video) {
      index.packets_.push_back(IndexedPacket{packet->pos, packet->dts, packet->pts,
                                             (packet->flags & AV_PKT_FLAG_KEY) != 0});
      if (order_scan) order_scan->Add(*packet);
    }
    av_packet_unref(packet.get());
  }
  index.Complete(order_scan.get());
  return index;
}

std::optional<FrameIndex> FrameIndex::FromContainer(MediaInput& input, const std::string& path) {
  const AVFormatContext& context = *input.context();
  const int video = input.video_stream();
  const AVStream* stream = input.stream(video);
  const int entries = avformat_index_get_entries_count(stream);
  // The MP4 demuxer reads one packet per entry of its sample table, with the
  // entry's offset, decode time and sync mark; without composition offsets
  // each is shown at its decode time.
  if (std::strstr(context.iformat->name, "mp4") == nullptr || entries <= 0 || stream->id < 0 ||
      TrackShownInDecodeOrder(path, static_cast<uint32_t>(stream->id)) !=
          std::optional<bool>(true)) {
    return std::nullopt;
  }
  FrameIndex index;
  index.time_base_ = stream->time_base;
  index.packets_.reserve(static_cast<size_t>(entries));
  for (int i = 0; i < entries; ++i) {
    const AVIndexEntry* entry = avformat_index_get_entry(const_cast<AVStream*>(stream), i);
    if (entry == nullptr) return std::nullopt;
    index.packets_.push_back(IndexedPacket{entry->pos, entry->timestamp, entry->timestamp,
                                           (entry->flags & AVINDEX_KEYFRAME) != 0});
  }
  index.Complete(nullptr);
  return index;
}

void FrameIndex::Complete(PresentationOrderScan* order_scan) {
  FrameIndex& index = *this;
  const auto& packets = index.packets_;
  const auto count = static_cast<uint32_t>(packets.size());
  index.by_timestamp_ =
      count > 0 && std::all_of(packets.begin(), packets.end(),
                               [](const IndexedPacket& p) { return p.pts != AV_NOPTS_VALUE; });
  index.frame_of_packet_.resize(count);
  if (index.by_timestamp_) {
    std::vector<uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0U);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return packets[a].pts < packets[b].pts; });
    index.sorted_pts_.resize(count);
    for (uint32_t frame = 0; frame < count; ++frame) {
      index.frame_of_packet_[order[frame]] = frame;
      index.sorted_pts_[frame] = packets[order[frame]].pts;
    }
  } else if (std::optional<std::vector<uint32_t>> ranks =
                 order_scan ? order_scan->Ranks() : std::nullopt) {
    index.frame_of_packet_ = std::move(*ranks);
    index.by_picture_headers_ = true;
  } else {
    std::iota(index.frame_of_packet_.begin(), index.frame_of_packet_.end(), 0U);
  }

  for (uint32_t i = 0; i < count; ++i) {
    if (packets[i].key) index.key_packets_.push_back(i);
  }
  // A stream whose first packet is not marked key still starts decoding there.
  if (index.key_packets_.empty() || index.key_packets_.front() != 0) {
    index.key_packets_.insert(index.key_packets_.begin(), 0U);
  }

  // Packets are found by their byte offset. In decode order the offsets
  // almost always increase (the file is read in order), and the packets
  // themselves are searched; otherwise a sorted copy of the offsets is kept.
  bool increasing = count > 0;
  for (uint32_t i = 0; i < count && increasing; ++i) {
    increasing =
        packets[i].position >= 0 && (i == 0 || packets[i].position > packets[i - 1].position);
  }
  index.positions_unique_ = increasing;
  if (!increasing && count > 0 &&
      std::all_of(packets.begin(), packets.end(),
                  [](const IndexedPacket& p) { return p.position >= 0; })) {
    index.by_position_.reserve(count);
    for (uint32_t i = 0; i < count; ++i) index.by_position_.emplace_back(packets[i].position, i);
    std::sort(index.by_position_.begin(), index.by_position_.end());
    index.positions_unique_ =
        std::adjacent_find(index.by_position_.begin(), index.by_position_.end(),
                           [](const auto& a, const auto& b) { return a.first == b.first; }) ==
        index.by_position_.end();
    if (!index.positions_unique_) index.by_position_ = {};
  }
  index.dts_increasing_ = count > 0;
  for (uint32_t i = 0; i < count && index.dts_increasing_; ++i) {
    if (packets[i].dts == AV_NOPTS_VALUE || (i > 0 && packets[i].dts <= packets[i - 1].dts)) {
      index.dts_increasing_ = false;
    }
  }
  index.packets_.shrink_to_fit();
  index.key_packets_.shrink_to_fit();
}

std::optional<uint32_t> FrameIndex::DecodeIndexOf(const AVPacket& packet) const {
  if (positions_unique_ && packet.pos >= 0) {
    if (by_position_.empty()) {
      auto found = std::lower_bound(
          packets_.begin(), packets_.end(), packet.pos,
          [](const IndexedPacket& p, int64_t position) { return p.position < position; });
      if (found == packets_.end() || found->position != packet.pos) return std::nullopt;
      return static_cast<uint32_t>(found - packets_.begin());
    }
    auto found = std::lower_bound(by_position_.begin(), by_position_.end(),
                                  std::make_pair(packet.pos, uint32_t{0}));
    if (found == by_position_.end() || found->first != packet.pos) return std::nullopt;
    return found->second;
  }
  if (dts_increasing_ && packet.dts != AV_NOPTS_VALUE) {
    auto found = std::lower_bound(packets_.begin(), packets_.end(), packet.dts,
                                  [](const IndexedPacket& p, int64_t dts) { return p.dts < dts; });
    if (found != packets_.end() && found->dts == packet.dts) {
      return static_cast<uint32_t>(found - packets_.begin());
    }
  }
  return std::nullopt;
}

std::optional<uint32_t> FrameIndex::FrameNumberOfTimestamp(int64_t pts) const {
  if (!by_timestamp_ || pts == AV_NOPTS_VALUE) return std::nullopt;
  auto found = std::lower_bound(sorted_pts_.begin(), sorted_pts_.end(), pts);
  if (found == sorted_pts_.end() || *found != pts) return std::nullopt;
  return static_cast<uint32_t>(found - sorted_pts_.begin());
}

std::optional<uint32_t> FrameIndex::FrameNumberOfDecodedPacket(int64_t decode_index) const {
  if (!by_picture_headers_ || decode_index < 0 || decode_index >= frame_count()) {
    return std::nullopt;
  }
  return frame_of_packet_[static_cast<size_t>(decode_index)];
}

uint32_t FrameIndex::FrameNumberOfPacket(uint32_t decode_index) const {
  return frame_of_packet_[decode_index];
}

uint32_t FrameIndex::KeyPacketFor(uint32_t frame) const {
  // Key frames come in decode order; each is shown after the previous ones.
  uint32_t chosen = key_packets_.front();
  for (uint32_t key : key_packets_) {
    if (frame_of_packet_[key] > frame) break;
    chosen = key;
  }
  return chosen;
}

int64_t FrameIndex::TimestampMs(uint32_t frame, double frame_rate) const {
  if (by_timestamp_ && frame < sorted_pts_.size()) {
    return ToMilliseconds(sorted_pts_[frame] - sorted_pts_.front(), time_base_);
  }
  double rate = frame_rate > 0.0 ? frame_rate : 25.0;
  return static_cast<int64_t>(std::llround(frame * 1000.0 / rate));
}

}  // namespace qx::media
