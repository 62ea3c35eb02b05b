#include "backends/media/mp4_stream_head.h"

#include <cstring>

namespace qx::media {
namespace {

uint64_t ReadBigEndian(const uint8_t* bytes, size_t count) {
  uint64_t value = 0;
  for (size_t i = 0; i < count; ++i) value = (value << 8) | bytes[i];
  return value;
}

bool IsType(const uint8_t* box, const char* type) { return std::memcmp(box + 4, type, 4) == 0; }

// The boxes a progressive MP4/3GP stream may begin with.
bool OpensProgressiveFile(const uint8_t* box) {
  for (const char* type : {"ftyp", "moov", "free", "skip", "wide", "pdin", "uuid"})
    if (IsType(box, type)) return true;
  return false;
}

// Whether the children of the box at `box` (whole, `size` bytes with an
// 8-byte header) include one of `type`.
bool HasChild(const uint8_t* box, uint64_t size, const char* type) {
  uint64_t at = 8;
  while (at + 8 <= size) {
    const uint64_t child = ReadBigEndian(box + at, 4);
    if (IsType(box + at, type)) return true;
    if (child < 8) return false;
    at += child;
  }
  return false;
}

}  // namespace

void Mp4StreamHead::Feed(const uint8_t* data, size_t length) {
  total_ += length;
  if (state_ != State::kReading) return;
  head_.insert(head_.end(), data, data + length);
  Parse();
}

void Mp4StreamHead::GiveUp() {
  state_ = State::kNotProgressive;
  head_.clear();
  head_.shrink_to_fit();
}

void Mp4StreamHead::Parse() {
  while (state_ == State::kReading && next_box_ + 8 <= head_.size()) {
    const uint8_t* box = head_.data() + next_box_;
    if (next_box_ == 0 && !OpensProgressiveFile(box)) return GiveUp();
    uint64_t size = ReadBigEndian(box, 4);
    size_t header = 8;
    if (size == 1) {
      if (next_box_ + 16 > head_.size()) return;  // its 64-bit size has not come yet
      size = ReadBigEndian(box + 8, 8);
      header = 16;
    }
    if (IsType(box, "mdat")) {
      // The media data begins: the head is complete, and must have held a
      // whole, unfragmented index.
      const size_t media = next_box_ + header;
      bool indexed = false;
      for (size_t at = 0; at + 8 <= next_box_;) {
        const uint64_t child = ReadBigEndian(head_.data() + at, 4);
        if (IsType(head_.data() + at, "moov") && child >= 8 && at + child <= next_box_)
          indexed = !HasChild(head_.data() + at, child, "mvex");
        if (child < 8) break;
        at += child;
      }
      if (!indexed) return GiveUp();
      head_.resize(media);
      head_.shrink_to_fit();
      state_ = State::kComplete;
      return;
    }
    // A box without a size (to the end of the stream) or a fragment before
    // any media data: no progressive file.
    if (size < header || IsType(box, "moof")) return GiveUp();
    if (next_box_ + size > kMaxHeadBytes) return GiveUp();
    next_box_ += size;
  }
}

std::optional<StreamLeadIn> Mp4StreamHead::LeadInAt(uint64_t offset) const {
  if (offset == 0 || state_ == State::kNotProgressive) return std::nullopt;
  StreamLeadIn lead_in;
  if (offset <= head_.size()) {
    // Started inside the head: the rest of it is still to come.
    lead_in.bytes.assign(head_.begin(), head_.begin() + static_cast<ptrdiff_t>(offset));
    return lead_in;
  }
  if (state_ != State::kComplete) return std::nullopt;
  lead_in.bytes = head_;
  lead_in.zeros = offset - head_.size();
  return lead_in;
}

}  // namespace qx::media
