#include "backends/media/flv_stream_head.h"

#include <algorithm>
#include <cstring>

namespace qx::media {

namespace {

constexpr size_t kTagHeader = 11;
constexpr size_t kTagSizeField = 4;  // after every tag
constexpr int kSoundTag = 8;
constexpr int kVideoTag = 9;
constexpr int kScriptTag = 18;
enum Kept { kMetadata, kVideoSetup, kSoundSetup };

size_t BodySize(const std::vector<uint8_t>& tag) {
  return (size_t{tag[1]} << 16) | (size_t{tag[2]} << 8) | tag[3];
}

// Which kind of kept tag `body` (the tag's first bytes after its header)
// makes, or -1.
int KindOf(int type, const uint8_t* body, size_t size) {
  if (type == kScriptTag) return kMetadata;
  if (size < 2) return -1;
  if (type == kVideoTag) {
    // AVC (7) or HEVC (12) decoder configuration: packet type 0. The
    // extended header (bit 7) names its codec apart: setup is type 0 too.
    const bool extended = (body[0] & 0x80) != 0;
    const int codec = body[0] & 0x0f;
    if (extended) return (body[0] & 0x0f) == 0 ? kVideoSetup : -1;
    return (codec == 7 || codec == 12) && body[1] == 0 ? kVideoSetup : -1;
  }
  if (type == kSoundTag) return (body[0] >> 4) == 10 && body[1] == 0 ? kSoundSetup : -1;  // AAC
  return -1;
}

}  // namespace

void FlvStreamHead::Feed(const uint8_t* data, size_t length) {
  total_ += length;
  while (length > 0 && state_ != State::kNotFlv) {
    if (state_ == State::kHeader) {
      const size_t wanted = 9 + kTagSizeField;
      const size_t taken = std::min(length, wanted - header_.size());
      header_.insert(header_.end(), data, data + taken);
      data += taken;
      length -= taken;
      if (std::memcmp(header_.data(), "FLV", std::min<size_t>(3, header_.size())) != 0) {
        state_ = State::kNotFlv;
        header_.clear();
        return;
      }
      if (header_.size() == wanted) state_ = State::kTags;
      continue;
    }
    // The tag being pushed, whole: its header, body and trailing size.
    const size_t whole =
        tag_.size() < kTagHeader ? kTagHeader : kTagHeader + BodySize(tag_) + kTagSizeField;
    const size_t taken = std::min(length, whole - tag_.size());
    tag_.insert(tag_.end(), data, data + taken);
    data += taken;
    length -= taken;
    if (tag_.size() == whole && whole > kTagHeader) {
      TakeTag(tag_);
      tag_.clear();
    }
  }
}

void FlvStreamHead::TakeTag(const std::vector<uint8_t>& tag) {
  const int type = tag[0] & 0x1f;
  const int kind = KindOf(type, tag.data() + kTagHeader, tag.size() - kTagHeader);
  if (kind < 0 || tag.size() > kMaxKeptTag) return;
  // The setup as it stands at the joined bytes; the metadata of the start.
  if (kind == kMetadata && kept_.count(kMetadata) != 0) return;
  std::vector<uint8_t> kept = tag;
  // Read before the joined frames: at time 0, so that no frame's time goes
  // back from it.
  std::fill(kept.begin() + 4, kept.begin() + 8, 0);
  kept_[kind] = std::move(kept);
}

std::optional<StreamLeadIn> FlvStreamHead::LeadInAt(uint64_t offset) const {
  if (state_ != State::kTags) return std::nullopt;
  StreamLeadIn lead_in;
  StreamLeadIn::Piece piece;
  piece.bytes = header_;
  for (const auto& [kind, tag] : kept_) {
    piece.bytes.insert(piece.bytes.end(), tag.begin(), tag.end());
  }
  // Joined at the end of what was pushed, inside a tag: its first bytes.
  if (offset == total_) piece.bytes.insert(piece.bytes.end(), tag_.begin(), tag_.end());
  lead_in.pieces.push_back(std::move(piece));
  return lead_in;
}

}  // namespace qx::media
