#include "backends/media/anchor_times.h"

#include <algorithm>
#include <utility>

namespace qx::media {

namespace {

// The coding type of the packet's first picture (VOP): 0 I, 1 P, 2 B, 3 S;
// -1 when there is none.
int PictureType(const AVPacket& packet) {
  const uint8_t* data = packet.data;
  const int size = packet.size;
  for (int i = 0; data != nullptr && i + 4 < size; ++i) {
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == 0xB6) {
      return data[i + 4] >> 6;
    }
  }
  return -1;
}

constexpr int kBPicture = 2;

PacketPtr Reference(const AVPacket& packet) {
  PacketPtr copy = RefPacket(packet);
  if (!copy) throw std::bad_alloc();
  return copy;
}

}  // namespace

bool AnchorTimes::Needed(AVCodecID codec, const AVPacket& picture) {
  return codec == AV_CODEC_ID_MPEG4 && picture.pts == AV_NOPTS_VALUE;
}

std::vector<AnchorTimes::Packet> AnchorTimes::Add(Packet packet, bool picture) {
  std::vector<Packet> ready;
  const bool anchor = picture && PictureType(*packet.original) != kBPicture;
  if (picture && !anchor) packet.timed->pts = packet.timed->dts;  // shown as decoded
  if (anchor && !held_.empty()) {
    held_.front().timed->pts = packet.timed->dts;
    ready = std::move(held_);
    held_.clear();
  }
  if (anchor || !held_.empty()) {
    held_.push_back(std::move(packet));
    if (held_.size() > kMaxHeld) {
      std::vector<Packet> rest = Flush();
      for (Packet& late : rest) ready.push_back(std::move(late));
    }
  } else {
    ready.push_back(std::move(packet));
  }
  return ready;
}

std::vector<AnchorTimes::Packet> AnchorTimes::Flush() {
  if (held_.empty()) return {};
  // The held anchor is shown after every picture held behind it.
  int64_t last = held_.front().timed->dts;
  for (const Packet& packet : held_) {
    if (packet.original->stream_index == held_.front().original->stream_index &&
        packet.timed->pts != AV_NOPTS_VALUE) {
      last = std::max(last, packet.timed->pts);
    }
  }
  held_.front().timed->pts = last + frame_duration_;
  std::vector<Packet> rest = std::move(held_);
  held_.clear();
  return rest;
}

AnchorTimes AnchorTimes::Copy() const {
  AnchorTimes copy(frame_duration_);
  for (const Packet& packet : held_) {
    copy.held_.push_back({Reference(*packet.original), Reference(*packet.timed)});
  }
  return copy;
}

}  // namespace qx::media
