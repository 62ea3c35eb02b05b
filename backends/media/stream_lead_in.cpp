#include "backends/media/stream_lead_in.h"

#include <algorithm>
#include <cstring>

namespace qx::media {

uint64_t StreamLeadIn::length() const {
  uint64_t total = 0;
  for (const Piece& piece : pieces) total += piece.bytes.size() + piece.zeros;
  return total;
}

bool StreamLeadIn::stands_in() const {
  return std::any_of(pieces.begin(), pieces.end(),
                     [](const Piece& piece) { return piece.zeros > 0; });
}

void StreamLeadIn::Read(uint64_t at, uint8_t* out, size_t count) const {
  uint64_t piece_start = 0;
  for (const Piece& piece : pieces) {
    if (count == 0) return;
    const uint64_t piece_end = piece_start + piece.bytes.size() + piece.zeros;
    if (at < piece_end) {
      const uint64_t within = at - piece_start;
      const size_t taken = static_cast<size_t>(std::min<uint64_t>(count, piece_end - at));
      const size_t from_bytes =
          within < piece.bytes.size()
              ? static_cast<size_t>(std::min<uint64_t>(taken, piece.bytes.size() - within))
              : 0;
      if (from_bytes > 0) std::memcpy(out, piece.bytes.data() + within, from_bytes);
      std::memset(out + from_bytes, 0, taken - from_bytes);
      out += taken;
      at += taken;
      count -= taken;
    }
    piece_start = piece_end;
  }
}

}  // namespace qx::media
