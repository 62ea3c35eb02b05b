#include "backends/media/frame_index.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <utility>

#include "backends/media/media_input.h"
#include "backends/media/mp4_sample_table.h"
#include "backends/media/presentation_order.h"
#include "core/log.h"

namespace qx::media {

FrameIndexBuilder::FrameIndexBuilder(const MediaInput& input)
    : video_(input.video_stream()),
      order_scan_(PresentationOrderScan::For(*input.stream(video_)->codecpar)) {
  index_.time_base_ = input.stream(video_)->time_base;
}

FrameIndexBuilder::~FrameIndexBuilder() = default;

bool FrameIndexBuilder::Add(const AVPacket& packet) {
  if (packet.stream_index != video_) return false;
  index_.packets_.push_back(
      IndexedPacket{packet.pos, packet.dts, packet.pts, (packet.flags & AV_PKT_FLAG_KEY) != 0});
  if (order_scan_) order_scan_->Add(packet);
  return true;
}

FrameIndex FrameIndexBuilder::Finish() {
  index_.Complete(order_scan_.get());
  return std::move(index_);
}

FrameIndex FrameIndex::Build(MediaInput& input) {
  FrameIndexBuilder builder(input);
  PacketPtr packet = MakePacket();
  while (input.Read(packet.get()) >= 0) {
    builder.Add(*packet);
    av_packet_unref(packet.get());
  }
  return builder.Finish();
}

bool FrameIndex::HasSampleTable(const MediaInput& input) {
  const AVStream* stream = input.stream(input.video_stream());
  return std::strstr(input.context()->iformat->name, "mp4") != nullptr &&
         avformat_index_get_entries_count(stream) > 0 && stream->id >= 0;
}

std::optional<FrameIndex> FrameIndex::FromContainer(MediaInput& input, const std::string& path) {
  if (!HasSampleTable(input)) return std::nullopt;
  const AVStream* stream = input.stream(input.video_stream());
  const int entries = avformat_index_get_entries_count(stream);
  const std::optional<std::vector<CompositionRun>> runs =
      TrackCompositionOffsets(path, static_cast<uint32_t>(stream->id));
  if (!runs) return std::nullopt;
  // The MP4 demuxer reads one packet per entry of its sample table, with the
  // entry's offset, decode time and sync mark; the sample's composition
  // offset says when it is shown.
  FrameIndex index;
  index.time_base_ = stream->time_base;
  index.packets_.reserve(static_cast<size_t>(entries));
  size_t run = 0;
  uint32_t used_of_run = 0;
  for (int i = 0; i < entries; ++i) {
    const AVIndexEntry* entry = avformat_index_get_entry(const_cast<AVStream*>(stream), i);
    if (entry == nullptr) return std::nullopt;
    int64_t offset = 0;
    if (!runs->empty()) {
      while (run < runs->size() && used_of_run == (*runs)[run].count) {
        ++run;
        used_of_run = 0;
      }
      if (run == runs->size()) return std::nullopt;  // fewer offsets than samples
      offset = (*runs)[run].offset;
      ++used_of_run;
    }
    index.packets_.push_back(IndexedPacket{entry->pos, entry->timestamp, entry->timestamp + offset,
                                           (entry->flags & AVINDEX_KEYFRAME) != 0});
  }
  for (; run < runs->size(); ++run, used_of_run = 0) {
    if ((*runs)[run].count != used_of_run) return std::nullopt;  // more offsets than samples
  }
  if (!index.MatchFirstPackets(input)) return std::nullopt;
  index.Complete(nullptr);
  return index;
}

bool FrameIndex::MatchFirstPackets(MediaInput& input) {
  // The demuxer shifts presentation times by an amount of its own (edit
  // lists, negative offsets), read here from the first packet; the first
  // packets must then all be the table's, or the table is not used.
  constexpr uint32_t kPacketsChecked = 64;
  const int video = input.video_stream();
  PacketPtr packet = MakePacket();
  int64_t shift = 0;
  uint32_t checked = 0;
  while (checked < kPacketsChecked && checked < packets_.size() && input.Read(packet.get()) >= 0) {
    if (packet->stream_index == video) {
      const IndexedPacket& expected = packets_[checked];
      if (checked == 0 && packet->pts != AV_NOPTS_VALUE) shift = packet->pts - expected.pts;
      const bool same = packet->pos == expected.position && packet->dts == expected.dts &&
                        packet->pts != AV_NOPTS_VALUE && packet->pts == expected.pts + shift &&
                        ((packet->flags & AV_PKT_FLAG_KEY) != 0) == expected.key;
      if (!same) {
        log::Debug("media", log::kNoPort,
                   "the sample table differs from packet {} as read; reading every packet",
                   checked);
        return false;
      }
      ++checked;
    }
    av_packet_unref(packet.get());
  }
  if (checked == 0) return false;
  for (IndexedPacket& indexed : packets_) indexed.pts += shift;
  return true;
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
  // themselves are searched; otherwise a sorted copy of the offsets known
  // is kept (an MPEG-PS demuxer gives none for a picture that begins in the
  // middle of a PES packet).
  bool increasing = count > 0;
  for (uint32_t i = 0; i < count && increasing; ++i) {
    increasing =
        packets[i].position >= 0 && (i == 0 || packets[i].position > packets[i - 1].position);
  }
  index.positions_unique_ = increasing;
  if (!increasing) {
    for (uint32_t i = 0; i < count; ++i) {
      if (packets[i].position >= 0) index.by_position_.emplace_back(packets[i].position, i);
    }
    std::sort(index.by_position_.begin(), index.by_position_.end());
    index.positions_unique_ =
        !index.by_position_.empty() &&
        std::adjacent_find(index.by_position_.begin(), index.by_position_.end(),
                           [](const auto& a, const auto& b) { return a.first == b.first; }) ==
            index.by_position_.end();
    if (!index.positions_unique_) index.by_position_ = {};
    index.by_position_.shrink_to_fit();
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
    // Where offsets are known, a packet read without one is only a packet
    // the index also holds without one: after a seek the demuxer's first
    // pieces carry times guessed from other pictures.
    if (found != packets_.end() && found->dts == packet.dts &&
        (!positions_unique_ || found->position < 0)) {
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

int64_t FrameIndex::SeekPositionFor(uint32_t decode_index) const {
  // A demuxer that cuts pictures out of the bytes (MPEG-PS, raw streams)
  // takes the first piece after a seek for a picture: in MPEG-PS, the tail
  // of the previous picture with the times of the next. Seeking to the
  // picture before lets it find the picture's start first; a picture read
  // without an offset is reached from the last one read with one.
  const int64_t own = packets_[decode_index].position;
  constexpr uint32_t kLookBack = 16;
  for (uint32_t back = 1; back <= kLookBack && back <= decode_index; ++back) {
    const int64_t earlier = packets_[decode_index - back].position;
    if (earlier >= 0 && (own < 0 || earlier < own)) return earlier;
  }
  return own;
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
