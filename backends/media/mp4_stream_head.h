// The head of a pushed MP4/3GP byte stream: the boxes before its media data
// (ftyp, moov, ...), kept while the stream is pushed, so that a recording
// that starts in the middle of the stream can still read it.
//
// A progressive stream (one moov, then one mdat) names every sample by its
// byte offset in the stream, and its index comes once, at the start. A
// reader that starts at byte `offset` is given the head, then zeros up to
// `offset` (the samples there are left out by their position), then the
// stream from `offset` on: the demuxer reads it as the stream it is.
//
// A fragmented stream (mvex in moov, then moof and mdat pairs) indexes each
// fragment in its own moof. Its top-level boxes are followed as they are
// pushed, and the bytes from the current fragment's moof on are kept, but
// for the media data's bodies (at most kMaxTailBytes). A reader is given
// the head, one `free` box that hides everything between the head and that
// moof, the kept bytes, then zeros for the media data pushed before
// `offset` (whose samples are left out by their position). Past the bound
// the free box reaches instead to the next top-level box, the reader's own
// first bytes included: the reader starts at the next fragment. The kept
// bytes of the last few fragments stay a while, so that a reader can also
// start at a key frame pushed a little earlier.
//
// Anything that is not a box structure gets no lead-in.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_MP4_STREAM_HEAD_H
#define QXPLAYSDK_BACKENDS_MEDIA_MP4_STREAM_HEAD_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "backends/media/stream_lead_in.h"

namespace qx::media {

class Mp4StreamHead {
 public:
  // The next bytes of the stream, in the order they were pushed.
  void Feed(const uint8_t* data, size_t length);
  // Bytes fed so far.
  uint64_t total() const { return total_; }
  // The lead-in for a reader that starts at byte `offset` (of a fragmented
  // stream: in one of its last fragments, or at total()); none when the
  // stream needs none (it starts at 0) or cannot have one (no MP4 box
  // structure, a head not yet complete, a fragment whose index was not
  // kept).
  std::optional<StreamLeadIn> LeadInAt(uint64_t offset) const;

  // The head is given up past this size (a moov this large is no stream's).
  static constexpr size_t kMaxHeadBytes = size_t{64} << 20;

 private:
  enum class State { kReading, kProgressive, kFragmented, kNotBoxes };
  void Parse();
  void GiveUp();
  // A fragmented stream's bytes from the end of the head on.
  void FollowBoxes(const uint8_t* data, size_t length);
  std::optional<StreamLeadIn> FragmentedLeadIn(uint64_t offset) const;

  State state_ = State::kReading;
  std::vector<uint8_t> head_;  // the stream's first bytes, up to the media data
  size_t next_box_ = 0;        // while reading the head: offset of its next box
  uint64_t total_ = 0;

  // A fragmented stream's top-level boxes after the head.
  void StartBox();
  uint64_t followed_ = 0;  // bytes of the stream followed so far
  uint64_t box_start_ = 0;
  uint64_t box_end_ = 0;             // where the next box begins
  std::vector<uint8_t> box_header_;  // the part of the next box's header already pushed
  bool in_media_ = false;            // the current box is media data (mdat)
  bool ended_in_fragment_index_ = false;
  // The stream's bytes from tail_from_ to where it has been followed (the
  // current fragment's index on), with the media data's bodies left out;
  // not valid past kMaxTailBytes.
  std::vector<uint8_t> tail_;
  uint64_t tail_from_ = 0;
  bool tail_valid_ = false;
  static constexpr size_t kMaxTailBytes = size_t{4} << 20;
  // The kept bytes of the last fragments before the current one.
  struct KeptFragment {
    uint64_t from = 0;
    uint64_t end = 0;  // where the next top-level box begins
    std::vector<uint8_t> bytes;
  };
  std::deque<KeptFragment> recent_;
  size_t recent_bytes_ = 0;
  static constexpr size_t kMaxRecentFragments = 16;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_MP4_STREAM_HEAD_H
