// Fuzzes the follower of pushed MP4 streams: bytes from anywhere, pushed in
// blocks of the sizes the input chooses, with a reader joining after every
// block. Whatever the bytes, a lead-in must end exactly where the reader's
// own bytes begin, and reading it must stay within what it holds.
//
// Input: the first byte chooses the block size, the rest is the stream.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "backends/media/mp4_stream_head.h"

namespace {

void Require(bool condition, const char* invariant) {
  if (!condition) {
    std::fprintf(stderr, "broken invariant: %s\n", invariant);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t block = 1 + data[0] % 64;
  const uint8_t* stream = data + 1;
  const size_t length = size - 1;
  qx::media::Mp4StreamHead head;
  std::vector<uint8_t> read;
  for (size_t at = 0; at < length; at += block) {
    const size_t count = at + block < length ? block : length - at;
    head.Feed(stream + at, count);
    Require(head.total() == at + count, "every byte fed is counted");
    // A reader joining now, and one starting a little earlier (a switch
    // reading the stream again from a key frame).
    for (const uint64_t offset : {head.total(), head.total() / 2, head.total() - count / 2}) {
      const std::optional<qx::media::StreamLeadIn> lead_in = head.LeadInAt(offset);
      if (!lead_in) continue;
      Require(lead_in->length() == offset, "a lead-in ends where the reader's bytes begin");
      read.assign(static_cast<size_t>(lead_in->length()), 0xAA);
      lead_in->Read(0, read.data(), read.size());
      // The reader starts with the stream's own first bytes.
      const size_t first = lead_in->pieces.empty() ? 0 : lead_in->pieces.front().bytes.size();
      for (size_t i = 0; i < first && i < 8 && i < offset; ++i) {
        Require(read[i] == stream[i], "a lead-in begins with the stream's first bytes");
      }
    }
  }
  return 0;
}
