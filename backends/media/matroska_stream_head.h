// The head of a pushed Matroska/WebM byte stream: its EBML header and the
// segment's elements before the first cluster (the tracks and their codec
// setup), kept while the stream is pushed so that a recording that starts
// in the middle of the stream can still read it.
//
// The starts of the clusters are followed as the bytes are pushed, and the
// bytes of the last few clusters are kept (at most kMaxClusterBytes each).
// A reader that starts at byte `offset` is given the head, one Void element
// that hides everything between the head and the start of the cluster that
// holds `offset`, the kept bytes of that cluster up to `offset`, then the
// stream from `offset` on: the demuxer reads a whole cluster and the
// stream's offsets are unchanged, so the packets before `offset` are left
// out by their position.
//
// A cluster starts with its ID, a size, and its timestamp (the first child
// muxers write, after a checksum at most); that is how a start is told from
// a block's data.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_MATROSKA_STREAM_HEAD_H
#define QXPLAYSDK_BACKENDS_MEDIA_MATROSKA_STREAM_HEAD_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "backends/media/stream_lead_in.h"

namespace qx::media {

class MatroskaStreamHead {
 public:
  // The next bytes of the stream, in the order they were pushed.
  void Feed(const uint8_t* data, size_t length);
  // The lead-in for a reader that starts at byte `offset`, within one of
  // the last clusters kept; none when the stream is no Matroska, its head
  // has not all come, or the cluster's bytes were not kept.
  std::optional<StreamLeadIn> LeadInAt(uint64_t offset) const;

  static constexpr size_t kMaxHeadBytes = size_t{16} << 20;
  // FFmpeg's muxer closes a cluster at 5 MiB.
  static constexpr size_t kMaxClusterBytes = size_t{6} << 20;
  static constexpr size_t kKeptClusters = 3;

 private:
  enum class State { kReading, kFollowing, kNotMatroska };
  struct Cluster {
    uint64_t start = 0;          // in the stream
    std::vector<uint8_t> bytes;  // from start on; only the last few once not whole
    uint64_t dropped = 0;        // bytes left out of `bytes` at its front
    size_t scanned = 1;          // bytes[scanned..] not yet looked at for a start
  };
  void GiveUp();
  // Looks for cluster starts in the bytes of the last cluster not yet
  // looked at, and begins a new cluster at each.
  void FindClusters();

  State state_ = State::kReading;
  std::vector<uint8_t> head_;
  uint64_t total_ = 0;
  std::deque<Cluster> clusters_;
};

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_MATROSKA_STREAM_HEAD_H
