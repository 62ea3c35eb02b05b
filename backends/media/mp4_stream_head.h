// The head of a pushed MP4/3GP byte stream: the boxes before its media data
// (ftyp, moov, ...), kept while the stream is pushed, so that a recording
// that starts in the middle of the media data can still read the stream.
//
// A streamed MP4 names every sample by its byte offset in the stream, and
// its index (moov) comes once, at the start. A reader that starts at byte
// `offset` is given the head, then zeros up to `offset` (the samples there
// are left out by their position), then the stream from `offset` on: the
// demuxer reads it as the stream it is.
//
// Only progressive files are kept (one moov, then one mdat); fragmented
// files (moof boxes, or mvex in moov) and anything that is not a box
// structure are not, and get no lead-in.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_MP4_STREAM_HEAD_H
#define QXPLAYSDK_BACKENDS_MEDIA_MP4_STREAM_HEAD_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace qx::media {

// What a reader starting at some byte of the stream reads first.
struct StreamLeadIn {
  std::vector<uint8_t> bytes;  // the stream's first bytes
  uint64_t zeros = 0;          // then this many zero bytes
  // Where the reader's own bytes begin in the stream; with zeros, packets
  // that lie before it are stand-ins.
  uint64_t length() const { return bytes.size() + zeros; }
};

class Mp4StreamHead {
 public:
  // The next bytes of the stream, in the order they were pushed.
  void Feed(const uint8_t* data, size_t length);
  // Bytes fed so far.
  uint64_t total() const { return total_; }
  // The lead-in for a reader that starts at byte `offset`; none when the
  // stream needs none (it starts at 0) or cannot have one (not a
  // progressive MP4, or its media data has not been found in the head).
  std::optional<StreamLeadIn> LeadInAt(uint64_t offset) const;

  // The head is given up past this size (a moov this large is no stream's).
  static constexpr size_t kMaxHeadBytes = size_t{64} << 20;

 private:
  enum class State { kReading, kComplete, kNotProgressive };
  void Parse();
  void GiveUp();

  State state_ = State::kReading;
  std::vector<uint8_t> head_;  // the stream's first bytes, up to the media data
  size_t next_box_ = 0;        // offset of the next top-level box to read
  uint64_t total_ = 0;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_MP4_STREAM_HEAD_H
