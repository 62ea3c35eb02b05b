#include "backends/media/mp4_stream_head.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace qx::media {
namespace {

constexpr uint64_t kToEndOfStream = std::numeric_limits<uint64_t>::max();

uint64_t ReadBigEndian(const uint8_t* bytes, size_t count) {
  uint64_t value = 0;
  for (size_t i = 0; i < count; ++i) value = (value << 8) | bytes[i];
  return value;
}

void AppendBigEndian(std::vector<uint8_t>* out, uint64_t value, size_t count) {
  for (size_t i = count; i-- > 0;) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

bool IsType(const uint8_t* box, const char* type) { return std::memcmp(box + 4, type, 4) == 0; }

// The boxes an MP4/3GP stream may begin with.
bool OpensFile(const uint8_t* box) {
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

// A box's size and header length from its first bytes; nullopt while they
// have not all come.
struct BoxHeader {
  uint64_t size = 0;  // kToEndOfStream for a box that lasts to the end
  size_t length = 8;
};
std::optional<BoxHeader> ReadBoxHeader(const uint8_t* box, size_t available) {
  if (available < 8) return std::nullopt;
  BoxHeader header;
  header.size = ReadBigEndian(box, 4);
  if (header.size == 1) {
    if (available < 16) return std::nullopt;
    header.size = ReadBigEndian(box + 8, 8);
    header.length = 16;
  } else if (header.size == 0) {
    header.size = kToEndOfStream;
  }
  return header;
}

}  // namespace

void Mp4StreamHead::Feed(const uint8_t* data, size_t length) {
  total_ += length;
  switch (state_) {
    case State::kReading:
      head_.insert(head_.end(), data, data + length);
      Parse();
      break;
    case State::kFragmented:
      FollowBoxes(data, length);
      break;
    case State::kProgressive:
    case State::kNotBoxes:
      break;
  }
}

void Mp4StreamHead::GiveUp() {
  state_ = State::kNotBoxes;
  head_.clear();
  head_.shrink_to_fit();
}

void Mp4StreamHead::Parse() {
  while (state_ == State::kReading) {
    if (next_box_ + 8 > head_.size()) return;  // the next box's header has not come yet
    const uint8_t* box = head_.data() + next_box_;
    if (next_box_ == 0 && !OpensFile(box)) return GiveUp();
    const std::optional<BoxHeader> header = ReadBoxHeader(box, head_.size() - next_box_);
    if (!header) return;
    const bool media = IsType(box, "mdat");
    const bool fragment = IsType(box, "moof") || IsType(box, "styp") || IsType(box, "sidx");
    if (media || fragment) {
      // The head is complete. A progressive stream's mdat follows a whole
      // moov without fragments; a fragmented one's first fragment follows a
      // moov that announces them (mvex).
      bool progressive = false;
      bool fragmented = false;
      for (size_t at = 0; at + 8 <= next_box_;) {
        const uint64_t child = ReadBigEndian(head_.data() + at, 4);
        if (IsType(head_.data() + at, "moov") && child >= 8 && at + child <= next_box_) {
          fragmented = HasChild(head_.data() + at, child, "mvex");
          progressive = !fragmented;
        }
        if (child < 8) break;
        at += child;
      }
      if (media && progressive) {
        head_.resize(next_box_ + header->length);
        head_.shrink_to_fit();
        state_ = State::kProgressive;
        return;
      }
      if (!fragmented) return GiveUp();
      std::vector<uint8_t> after_head(head_.begin() + static_cast<ptrdiff_t>(next_box_),
                                      head_.end());
      head_.resize(next_box_);
      head_.shrink_to_fit();
      state_ = State::kFragmented;
      followed_ = box_start_ = box_end_ = next_box_;
      FollowBoxes(after_head.data(), after_head.size());
      return;
    }
    if (header->size < header->length || header->size == kToEndOfStream) return GiveUp();
    if (next_box_ + header->size > kMaxHeadBytes) return GiveUp();
    next_box_ += header->size;
  }
}

void Mp4StreamHead::FollowBoxes(const uint8_t* data, size_t length) {
  while (length > 0 && state_ == State::kFragmented) {
    if (followed_ < box_end_) {
      // The current box's body: kept unless it is media data, which zeros
      // stand in for.
      const size_t body = static_cast<size_t>(std::min<uint64_t>(length, box_end_ - followed_));
      if (tail_valid_ && !in_media_) {
        if (tail_.size() + body > kMaxTailBytes) {
          tail_valid_ = false;
          tail_.clear();
        } else {
          tail_.insert(tail_.end(), data, data + body);
        }
      }
      followed_ += body;
      data += body;
      length -= body;
      continue;
    }
    // At the next box: its header may come in pieces.
    if (box_header_.empty()) StartBox();
    const size_t wanted = std::min<size_t>(16 - box_header_.size(), length);
    const size_t had = box_header_.size();
    box_header_.insert(box_header_.end(), data, data + wanted);
    const std::optional<BoxHeader> header = ReadBoxHeader(box_header_.data(), box_header_.size());
    // Only the header's own bytes are taken here; the rest are the body's.
    const size_t used = header ? header->length - had : wanted;
    if (tail_valid_) tail_.insert(tail_.end(), data, data + used);
    followed_ += used;
    data += used;
    length -= used;
    if (!header) continue;
    if (header->size < header->length) return GiveUp();
    in_media_ = IsType(box_header_.data(), "mdat");
    ended_in_fragment_index_ = IsType(box_header_.data(), "moof");
    box_end_ = header->size == kToEndOfStream ? kToEndOfStream : box_start_ + header->size;
    box_header_.clear();
  }
}

void Mp4StreamHead::StartBox() {
  box_start_ = box_end_;
  // A fragment's index stays with the media data that follows it; any
  // other box ends what a reader needs kept.
  if (!(ended_in_fragment_index_ && tail_valid_)) {
    if (tail_valid_ && !tail_.empty()) {
      // Kept a while for a reader that starts at a key frame pushed
      // earlier (a switch reading the stream again).
      recent_bytes_ += tail_.size();
      recent_.push_back(KeptFragment{tail_from_, box_start_, std::move(tail_)});
      while (recent_.size() > kMaxRecentFragments || recent_bytes_ > kMaxTailBytes) {
        recent_bytes_ -= recent_.front().bytes.size();
        recent_.pop_front();
      }
    }
    tail_.clear();
    tail_valid_ = true;
    tail_from_ = box_start_;
  }
  ended_in_fragment_index_ = false;
}

std::optional<StreamLeadIn> Mp4StreamHead::LeadInAt(uint64_t offset) const {
  if (offset == 0 || state_ == State::kNotBoxes) return std::nullopt;
  StreamLeadIn lead_in;
  if (state_ == State::kReading || offset <= head_.size()) {
    // Started inside the head: the rest of it is still to come.
    if (offset > head_.size()) return std::nullopt;
    lead_in.pieces.push_back({{head_.begin(), head_.begin() + static_cast<ptrdiff_t>(offset)}, 0});
    return lead_in;
  }
  if (state_ == State::kFragmented) return FragmentedLeadIn(offset);
  lead_in.pieces.push_back({head_, offset - head_.size()});
  return lead_in;
}

std::optional<StreamLeadIn> Mp4StreamHead::FragmentedLeadIn(uint64_t offset) const {
  if (offset > followed_) return std::nullopt;
  // The fragment that holds `offset`, when its index was kept: the reader
  // reads it from its index (its samples before `offset` are left out by
  // position). A reader at the stream's end without one skips, in the
  // free box, to the next top-level box, its own first bytes included.
  uint64_t from = 0;
  const std::vector<uint8_t>* kept = nullptr;
  if (tail_valid_ && tail_from_ <= offset) {
    from = tail_from_;
    kept = &tail_;
  } else {
    for (auto it = recent_.rbegin(); it != recent_.rend() && kept == nullptr; ++it) {
      if (it->from <= offset && offset < it->end) {
        from = it->from;
        kept = &it->bytes;
      }
    }
  }
  uint64_t skip_to = from;
  if (kept == nullptr) {
    if (offset != followed_ || !box_header_.empty() || box_end_ == kToEndOfStream) {
      return std::nullopt;
    }
    skip_to = box_end_;
  }
  StreamLeadIn::Piece head{head_, 0};
  const uint64_t skipped = skip_to - head_.size();
  if (skipped > 0) {
    const bool large = skipped > std::numeric_limits<uint32_t>::max();
    const uint64_t header = large ? 16 : 8;
    const uint64_t header_end = head_.size() + header;
    if (skipped < header || (kept == nullptr && offset < header_end)) return std::nullopt;
    AppendBigEndian(&head.bytes, large ? 1 : skipped, 4);
    head.bytes.insert(head.bytes.end(), {'f', 'r', 'e', 'e'});
    if (large) AppendBigEndian(&head.bytes, skipped, 8);
    head.zeros = (kept != nullptr ? skip_to : offset) - header_end;
  }
  StreamLeadIn lead_in;
  lead_in.pieces.push_back(std::move(head));
  if (kept != nullptr) {
    // The kept bytes run from the fragment's start to its media data's
    // body; a reader starting before their end takes only what lies
    // before it.
    const auto taken = static_cast<size_t>(std::min<uint64_t>(kept->size(), offset - from));
    lead_in.pieces.push_back(
        {{kept->begin(), kept->begin() + static_cast<ptrdiff_t>(taken)}, offset - from - taken});
  }
  return lead_in;
}

}  // namespace qx::media
