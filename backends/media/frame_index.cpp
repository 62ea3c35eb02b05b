#include "backends/media/frame_index.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <utility>

#include "backends/media/first_shown_picture.h"
#include "backends/media/media_input.h"
#include "backends/media/mp4_sample_table.h"
#include "backends/media/presentation_order.h"
#include "backends/media/timeline_unwrap.h"
#include "core/log.h"

namespace qx::media {
namespace {

// The first of 0..count-1 for which `at_or_after` holds, count if none: it
// must hold for every index after one for which it holds.
// (std::ranges::partition_point over an iota view would do, but clang 14
// cannot compile libstdc++ 12's ranges.)
template <typename Predicate>
uint32_t FirstIndexWhere(uint32_t count, Predicate at_or_after) {
  uint32_t low = 0;
  uint32_t high = count;
  while (low < high) {
    const uint32_t middle = low + (high - low) / 2;
    if (at_or_after(middle)) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return low;
}

}  // namespace

FrameIndexBuilder::FrameIndexBuilder(const MediaInput& input)
    : video_(input.video_stream()),
      order_scan_(PresentationOrderScan::For(*input.stream(video_)->codecpar)),
      first_shown_(std::make_unique<FirstShownPicture>(*input.stream(video_))) {
  index_.time_base_ = input.stream(video_)->time_base;
}

FrameIndexBuilder::~FrameIndexBuilder() = default;

bool FrameIndexBuilder::Add(const AVPacket& packet) {
  if (packet.stream_index != video_) return false;
  index_.Add(packet.pos, packet.dts, packet.pts, (packet.flags & AV_PKT_FLAG_KEY) != 0,
             (packet.flags & AV_PKT_FLAG_DISCARD) != 0);
  if (order_scan_) order_scan_->Add(packet);
  first_shown_->Add(packet);
  return true;
}

FrameIndex FrameIndexBuilder::Finish() {
  first_shown_->Finish();
  index_.Complete(order_scan_.get(), first_shown_.get());
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
    index.Add(entry->pos, entry->timestamp, entry->timestamp + offset,
              (entry->flags & AVINDEX_KEYFRAME) != 0, (entry->flags & AVINDEX_DISCARD_FRAME) != 0);
  }
  for (; run < runs->size(); ++run, used_of_run = 0) {
    if ((*runs)[run].count != used_of_run) return std::nullopt;  // more offsets than samples
  }
  if (!index.MatchFirstPackets(input)) return std::nullopt;
  index.Complete(nullptr, nullptr);
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
  while (checked < kPacketsChecked && checked < packet_count() && input.Read(packet.get()) >= 0) {
    if (packet->stream_index == video) {
      const IndexedPacket expected{PositionOf(checked), dts_[checked], pts_[checked],
                                   marked_key_[checked]};
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
  pts_shift_ = shift;
  return true;
}

void FrameIndex::Add(int64_t position, int64_t dts, int64_t pts, bool key, bool discard) {
  const bool unknown = position < 0;
  if (!unknown) last_position_ = position;
  positions_.PushBack(last_position_);
  position_unknown_.push_back(unknown);
  dts_.PushBack(dts);
  pts_.PushBack(pts);
  marked_key_.push_back(key);
  discarded_.push_back(discard);
}

void FrameIndex::Complete(PresentationOrderScan* order_scan, const FirstShownPicture* first_shown) {
  const uint32_t count = packet_count();
  by_timestamp_ = count > 0;
  for (uint32_t i = 0; i < count && by_timestamp_; ++i) by_timestamp_ = pts_[i] != AV_NOPTS_VALUE;

  std::vector<uint32_t> frame_of_packet(count);
  if (by_timestamp_) {
    // Numbered in the order of the file's parts where its clock goes back
    // (see TimelineUnwrap): a decoded picture's own time then no longer
    // tells its number, its packet's decode index does.
    std::vector<int64_t> pts(count);
    TimelineUnwrap unwrap(time_base_);
    for (uint32_t i = 0; i < count; ++i)
      pts[i] = pts_[i] + pts_shift_ + unwrap.Next(dts_[i], pts_[i]);
    times_go_back_ = unwrap.went_back();
    part_shifts_ = unwrap.shifts();
    std::vector<uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0U);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return pts[a] < pts[b]; });
    for (uint32_t frame = 0; frame < count; ++frame) {
      frame_of_packet[order[frame]] = frame;
      sorted_pts_.PushBack(pts[order[frame]]);
    }
  } else if (std::optional<std::vector<uint32_t>> ranks =
                 order_scan ? order_scan->Ranks() : std::nullopt) {
    frame_of_packet = std::move(*ranks);
    by_picture_headers_ = true;
  } else {
    std::iota(frame_of_packet.begin(), frame_of_packet.end(), 0U);
  }
  NumberFrames(frame_of_packet);
  HideUnshownFrames(frame_of_packet, first_shown);

  for (uint32_t i = 0; i < count; ++i) {
    // A stream whose first packet is not marked key still starts decoding there.
    if (marked_key_[i] || i == 0) {
      const int64_t pts = pts_[i] == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : pts_[i] + pts_shift_;
      keys_.push_back(KeyPacket{i, frame_of_packet[i], dts_[i], pts});
    }
  }
  first_packet_marked_key_ = count > 0 && marked_key_[0];
  IndexPositions();

  dts_increasing_ = count > 0;
  for (uint32_t i = 0; i < count && dts_increasing_; ++i) {
    if (dts_[i] == AV_NOPTS_VALUE || (i > 0 && dts_[i] <= dts_[i - 1])) dts_increasing_ = false;
  }
  // Decode times find a packet only where offsets cannot (see DecodeIndexOf).
  const bool some_position_unknown = std::find(position_unknown_.begin(), position_unknown_.end(),
                                               true) != position_unknown_.end();
  if (!dts_increasing_ || (positions_unique_ && !some_position_unknown)) dts_.Clear();

  pts_.Clear();
  marked_key_ = std::vector<bool>();
  positions_.ShrinkToFit();
  sorted_pts_.ShrinkToFit();
  keys_.shrink_to_fit();
  if (!some_position_unknown) position_unknown_ = std::vector<bool>();
  position_unknown_.shrink_to_fit();
}

void FrameIndex::HideUnshownFrames(const std::vector<uint32_t>& frame_of_packet,
                                   const FirstShownPicture* first_shown) {
  // Pictures the file marks as never shown are left out of the numbering
  // when they all come first in presentation order (an MP4 cut after a key
  // frame, whose edit list starts later); anywhere else they are numbered
  // like any other.
  const auto count = static_cast<uint32_t>(frame_of_packet.size());
  const auto discarded =
      static_cast<uint32_t>(std::count(discarded_.begin(), discarded_.end(), true));
  bool leading = discarded < count;
  for (uint32_t i = 0; i < count && leading; ++i) {
    leading = discarded_[i] == (frame_of_packet[i] < discarded);
  }
  std::vector<bool> hidden(count, false);
  if (leading) {
    hidden = discarded_;
  } else if (discarded > 0) {
    log::Debug("media", log::kNoPort,
               "{} pictures are marked as never shown, not all before the others: numbered",
               discarded);
  }
  discarded_ = std::vector<bool>();
  if (first_shown != nullptr) HideWhatADecoderSkips(frame_of_packet, *first_shown, hidden);
  for (uint32_t i = 0; i < count; ++i) {
    if (hidden[i]) hidden_ranks_.push_back(frame_of_packet[i]);
  }
  std::sort(hidden_ranks_.begin(), hidden_ranks_.end());
  hidden_ranks_.shrink_to_fit();
}

void FrameIndex::HideWhatADecoderSkips(const std::vector<uint32_t>& frame_of_packet,
                                       const FirstShownPicture& first_shown,
                                       std::vector<bool>& hidden) const {
  // A file cut in the middle of a group of pictures (a recording cut out of
  // a stream) shows nothing before the first picture a decoder gives, and
  // of the pictures shown before its first key frame's, only those the
  // decoder gave (see FirstShownPicture).
  if (first_shown.shown().empty()) return;
  const bool timed = by_timestamp_;
  if (!timed && !first_shown.untimed()) return;  // some packets timed, some not
  const auto count = static_cast<uint32_t>(frame_of_packet.size());
  const auto tag_of = [&](uint32_t i) { return timed ? pts_[i] + pts_shift_ : int64_t{i}; };
  std::optional<uint32_t> first_rank;
  std::optional<uint32_t> key_rank;
  std::vector<int64_t> shown = first_shown.shown();
  // The first packets carrying these times: a later part of a file whose
  // clock goes back can carry them again.
  for (uint32_t i = 0; i < count; ++i) {
    if (!first_rank && tag_of(i) == shown.front()) first_rank = frame_of_packet[i];
    if (!key_rank && first_shown.key_shown() && tag_of(i) == shown.back()) {
      key_rank = frame_of_packet[i];
    }
  }
  if (!first_rank) return;
  std::sort(shown.begin(), shown.end());
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t rank = frame_of_packet[i];
    if (rank < *first_rank || (key_rank && rank < *key_rank &&
                               !std::binary_search(shown.begin(), shown.end(), tag_of(i)))) {
      hidden[i] = true;
    }
  }
}

void FrameIndex::NumberFrames(const std::vector<uint32_t>& frame_of_packet) {
  const auto count = static_cast<uint32_t>(frame_of_packet.size());
  frame_shift_.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    const int64_t shift = int64_t{frame_of_packet[i]} - i;
    if (shift > kFarShift && shift <= INT8_MAX) {
      frame_shift_[i] = static_cast<int8_t>(shift);
    } else {
      frame_shift_[i] = kFarShift;
      far_frames_.emplace_back(i, frame_of_packet[i]);
    }
  }
  far_frames_.shrink_to_fit();
}

void FrameIndex::IndexPositions() {
  // Packets are found by their byte offset. In decode order the known
  // offsets almost always increase (the file is read in order; an MPEG-PS
  // demuxer gives none for a picture that begins in the middle of a PES
  // packet), and positions_ itself is searched; otherwise a list of the
  // packets in the order of their offsets is kept.
  const uint32_t count = packet_count();
  bool any_known = false;
  bool increasing = true;
  int64_t previous = -1;
  for (uint32_t i = 0; i < count && increasing; ++i) {
    if (!position_unknown_[i]) {
      increasing = positions_[i] > previous;
      previous = positions_[i];
      any_known = true;
    }
  }
  positions_increasing_ = any_known && increasing;
  positions_unique_ = positions_increasing_;
  if (positions_increasing_ || !any_known) return;
  for (uint32_t i = 0; i < count; ++i) {
    if (!position_unknown_[i]) by_position_.push_back(i);
  }
  std::stable_sort(by_position_.begin(), by_position_.end(),
                   [&](uint32_t a, uint32_t b) { return positions_[a] < positions_[b]; });
  positions_unique_ =
      std::adjacent_find(by_position_.begin(), by_position_.end(), [&](uint32_t a, uint32_t b) {
        return positions_[a] == positions_[b];
      }) == by_position_.end();
  if (!positions_unique_) by_position_ = std::vector<uint32_t>();
  by_position_.shrink_to_fit();
}

int64_t FrameIndex::PositionOf(uint32_t decode_index) const {
  if (!position_unknown_.empty() && position_unknown_[decode_index]) return -1;
  return positions_[decode_index];
}

const FrameIndex::KeyPacket* FrameIndex::KeyAt(uint32_t decode_index) const {
  auto found =
      std::lower_bound(keys_.begin(), keys_.end(), decode_index,
                       [](const KeyPacket& key, uint32_t packet) { return key.packet < packet; });
  return found != keys_.end() && found->packet == decode_index ? &*found : nullptr;
}

IndexedPacket FrameIndex::packet(uint32_t decode_index) const {
  IndexedPacket out;
  out.position = PositionOf(decode_index);
  if (!dts_.empty()) out.dts = dts_[decode_index];
  if (by_timestamp_ && !times_go_back_) out.pts = sorted_pts_[RankOfPacket(decode_index)];
  if (const KeyPacket* key = KeyAt(decode_index)) {
    // The first packet is where decoding starts even when not marked key.
    out.key = decode_index != 0 || first_packet_marked_key_;
    out.dts = key->dts;
    out.pts = key->pts;
  }
  return out;
}

size_t FrameIndex::MemoryBytes() const {
  return positions_.MemoryBytes() + position_unknown_.capacity() / 8 + dts_.MemoryBytes() +
         pts_.MemoryBytes() + marked_key_.capacity() / 8 + discarded_.capacity() / 8 +
         sorted_pts_.MemoryBytes() + frame_shift_.capacity() +
         far_frames_.capacity() * sizeof(far_frames_[0]) + keys_.capacity() * sizeof(KeyPacket) +
         by_position_.capacity() * sizeof(uint32_t);
}

std::optional<uint32_t> FrameIndex::DecodeIndexOf(const AVPacket& packet) const {
  const uint32_t count = packet_count();
  if (positions_unique_ && packet.pos >= 0) {
    if (positions_increasing_) {
      // An unknown offset holds the known one before it, so the first packet
      // at an offset is the one read from there.
      const uint32_t found =
          FirstIndexWhere(count, [&](uint32_t i) { return positions_[i] >= packet.pos; });
      if (found == count || PositionOf(found) != packet.pos) return std::nullopt;
      return found;
    }
    auto found = std::lower_bound(
        by_position_.begin(), by_position_.end(), packet.pos,
        [&](uint32_t index, int64_t position) { return positions_[index] < position; });
    if (found == by_position_.end() || positions_[*found] != packet.pos) return std::nullopt;
    return *found;
  }
  if (dts_increasing_ && !dts_.empty() && packet.dts != AV_NOPTS_VALUE) {
    const uint32_t found =
        FirstIndexWhere(count, [&](uint32_t i) { return dts_[i] >= packet.dts; });
    // Where offsets are known, a packet read without one is only a packet
    // the index also holds without one: after a seek the demuxer's first
    // pieces carry times guessed from other pictures.
    if (found != count && dts_[found] == packet.dts &&
        (!positions_unique_ || PositionOf(found) < 0)) {
      return found;
    }
  }
  return std::nullopt;
}

std::optional<uint32_t> FrameIndex::FrameNumberOfTimestamp(int64_t pts) const {
  if (!by_timestamp_ || times_go_back_ || pts == AV_NOPTS_VALUE) return std::nullopt;
  const uint32_t count = packet_count();
  const uint32_t found = FirstIndexWhere(count, [&](uint32_t i) { return sorted_pts_[i] >= pts; });
  if (found == count || sorted_pts_[found] != pts || RankHidden(found)) return std::nullopt;
  return FrameAtOrAfterRank(found);
}

std::optional<uint32_t> FrameIndex::FrameNumberOfDecodedPacket(int64_t decode_index) const {
  if (!numbered_by_decode_index() || decode_index < 0 || decode_index >= packet_count()) {
    return std::nullopt;
  }
  return FrameNumberOfPacket(static_cast<uint32_t>(decode_index));
}

int64_t FrameIndex::MovedTimeOfPacket(uint32_t decode_index) const {
  if (!by_timestamp_ || decode_index >= packet_count()) return AV_NOPTS_VALUE;
  return sorted_pts_[RankOfPacket(decode_index)];
}

uint32_t FrameIndex::FrameNumberOfPacket(uint32_t decode_index) const {
  // A hidden picture is decoded on the way to the frame shown after it.
  return FrameAtOrAfterRank(RankOfPacket(decode_index));
}

uint32_t FrameIndex::RankOfFrame(uint32_t frame) const {
  uint32_t rank = frame;
  for (const uint32_t hidden : hidden_ranks_) {
    if (hidden > rank) break;
    ++rank;
  }
  return rank;
}

uint32_t FrameIndex::FrameAtOrAfterRank(uint32_t rank) const {
  const auto below = std::lower_bound(hidden_ranks_.begin(), hidden_ranks_.end(), rank);
  return rank - static_cast<uint32_t>(below - hidden_ranks_.begin());
}

bool FrameIndex::RankHidden(uint32_t rank) const {
  return std::binary_search(hidden_ranks_.begin(), hidden_ranks_.end(), rank);
}

uint32_t FrameIndex::RankOfPacket(uint32_t decode_index) const {
  const int8_t shift = frame_shift_[decode_index];
  if (shift != kFarShift) return static_cast<uint32_t>(int64_t{decode_index} + shift);
  auto far = std::lower_bound(far_frames_.begin(), far_frames_.end(),
                              std::make_pair(decode_index, uint32_t{0}));
  return far->second;
}

int64_t FrameIndex::SeekPositionFor(uint32_t decode_index) const {
  // A demuxer that cuts pictures out of the bytes (MPEG-PS, raw streams)
  // takes the first piece after a seek for a picture: in MPEG-PS, the tail
  // of the previous picture with the times of the next. Seeking to the
  // picture before lets it find the picture's start first; a picture read
  // without an offset is reached from the last one read with one.
  const int64_t own = PositionOf(decode_index);
  constexpr uint32_t kLookBack = 16;
  for (uint32_t back = 1; back <= kLookBack && back <= decode_index; ++back) {
    const int64_t earlier = PositionOf(decode_index - back);
    if (earlier >= 0 && (own < 0 || earlier < own)) return earlier;
  }
  return own;
}

uint32_t FrameIndex::KeyPacketFor(uint32_t frame) const {
  // The key frame shown last before the frame, or as it. In decode order
  // each key frame is normally shown after the ones before it, and this is
  // the last one not shown after the frame; where times jump back (files
  // joined end to end) the frames of the later part come first, and the
  // key frame of the frame's own part is still the one shown last before it.
  if (keys_.empty()) return 0;
  const KeyPacket* chosen = nullptr;
  // Key records hold ranks: hidden pictures count.
  const uint32_t rank = RankOfFrame(frame);
  for (const KeyPacket& key : keys_) {
    if (key.frame <= rank && (chosen == nullptr || key.frame > chosen->frame)) {
      chosen = &key;
    }
  }
  return chosen != nullptr ? chosen->packet : keys_.front().packet;
}

int64_t FrameIndex::TimestampMs(uint32_t frame, double frame_rate) const {
  const uint32_t rank = RankOfFrame(frame);
  if (by_timestamp_ && rank < sorted_pts_.size()) {
    return ToMilliseconds(sorted_pts_[rank] - sorted_pts_[RankOfFrame(0)], time_base_);
  }
  double rate = frame_rate > 0.0 ? frame_rate : 25.0;
  return static_cast<int64_t>(std::llround(frame * 1000.0 / rate));
}

}  // namespace qx::media
