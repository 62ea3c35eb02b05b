// A long sequence of 64-bit values that lie close to their neighbours
// (timestamps, byte offsets in a file), kept in 4 bytes each: a value is
// stored as a 32-bit offset from the base of the block it falls in. A block
// holds up to kBlockLength values; a new one starts early where a value lies
// too far from its block's base (a timestamp discontinuity, a jump of over
// 2 GiB). INT64_MIN (FFmpeg's "no timestamp") is kept as it is, in any block.
//
// A frame index of a day-long recording holds millions of these: stored
// whole they would cost 8 bytes each, and the index most of its memory.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_PACKED_INT64S_H
#define QXPLAYSDK_BACKENDS_MEDIA_PACKED_INT64S_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qx::media {

class PackedInt64s {
 public:
  static constexpr size_t kBlockLength = 1024;

  void PushBack(int64_t value);
  int64_t operator[](size_t index) const;
  size_t size() const { return offsets_.size(); }
  bool empty() const { return offsets_.empty(); }
  // Drops every value and frees the memory.
  void Clear();
  void ShrinkToFit();
  size_t MemoryBytes() const {
    return offsets_.capacity() * sizeof(int32_t) + blocks_.capacity() * sizeof(Block);
  }

 private:
  struct Block {
    size_t first = 0;    // index of the block's first value
    int64_t base = 0;    // what its offsets are added to
    bool based = false;  // false while the block holds only INT64_MIN
  };

  std::vector<int32_t> offsets_;
  std::vector<Block> blocks_;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_PACKED_INT64S_H
