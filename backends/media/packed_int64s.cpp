#include "backends/media/packed_int64s.h"

#include <algorithm>
#include <limits>

namespace qx::media {
namespace {

constexpr int64_t kNone = std::numeric_limits<int64_t>::min();
// The offset that stands for kNone; real offsets never take it.
constexpr int32_t kNoneOffset = std::numeric_limits<int32_t>::min();

// value - base, when it fits an offset other than kNoneOffset.
bool OffsetFrom(int64_t base, int64_t value, int32_t* offset) {
  int64_t difference = 0;
  if (__builtin_sub_overflow(value, base, &difference)) return false;
  if (difference <= kNoneOffset || difference > std::numeric_limits<int32_t>::max()) return false;
  *offset = static_cast<int32_t>(difference);
  return true;
}

}  // namespace

void PackedInt64s::PushBack(int64_t value) {
  const bool block_full = blocks_.empty() || offsets_.size() - blocks_.back().first >= kBlockLength;
  if (block_full) blocks_.push_back(Block{offsets_.size(), 0, false});
  if (value == kNone) {
    offsets_.push_back(kNoneOffset);
    return;
  }
  Block* block = &blocks_.back();
  if (!block->based) {
    block->base = value;
    block->based = true;
  }
  int32_t offset = 0;
  if (!OffsetFrom(block->base, value, &offset)) {
    blocks_.push_back(Block{offsets_.size(), value, true});
    offset = 0;
  }
  offsets_.push_back(offset);
}

int64_t PackedInt64s::operator[](size_t index) const {
  const int32_t offset = offsets_[index];
  if (offset == kNoneOffset) return kNone;
  // The last block that starts at or before `index`.
  auto after = std::upper_bound(blocks_.begin(), blocks_.end(), index,
                                [](size_t at, const Block& block) { return at < block.first; });
  return std::prev(after)->base + offset;
}

void PackedInt64s::Clear() {
  // Assigning {} would keep the capacity.
  offsets_ = std::vector<int32_t>();
  blocks_ = std::vector<Block>();
}

void PackedInt64s::ShrinkToFit() {
  offsets_.shrink_to_fit();
  blocks_.shrink_to_fit();
}

}  // namespace qx::media
