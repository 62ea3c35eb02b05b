// What a reader joining a pushed stream part-way reads before the stream's
// own bytes: pieces of kept bytes, each followed by zeros that stand in for
// bytes the reader never got (see Mp4StreamHead).
#ifndef QXPLAYSDK_BACKENDS_MEDIA_STREAM_LEAD_IN_H
#define QXPLAYSDK_BACKENDS_MEDIA_STREAM_LEAD_IN_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qx::media {

struct StreamLeadIn {
  struct Piece {
    std::vector<uint8_t> bytes;
    uint64_t zeros = 0;  // after the bytes
  };
  std::vector<Piece> pieces;

  // Where the reader's own bytes begin in the stream.
  uint64_t length() const;
  // Whether zeros stand in for some of the stream's bytes: packets that
  // lie before length() are then no real ones.
  bool stands_in() const;
  // Copies `count` bytes from `at` on (within length()).
  void Read(uint64_t at, uint8_t* out, size_t count) const;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_STREAM_LEAD_IN_H
