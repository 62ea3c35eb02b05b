#include "backends/media/matroska_stream_head.h"

#include <algorithm>
#include <cstring>

#include "core/log.h"

namespace qx::media {
namespace {

constexpr uint8_t kEbmlMagic[] = {0x1A, 0x45, 0xDF, 0xA3};
constexpr uint8_t kClusterId[] = {0x1F, 0x43, 0xB6, 0x75};
constexpr uint8_t kClusterTimestampId = 0xE7;
constexpr uint8_t kCrc32Id = 0xBF;
constexpr uint8_t kVoidId = 0xEC;

enum class Start { kNo, kYes, kNeedMore };

// The most bytes that tell a cluster's start: ID, an 8-byte size, a CRC-32
// element and the timestamp's ID.
constexpr size_t kLongestStart = 4 + 8 + 6 + 1;

// Whether a cluster begins at bytes[at]: its ID, a size (an EBML number of
// 1 to 8 bytes), then its timestamp's ID (after a CRC-32 element, when the
// muxer writes checksums).
Start ClusterStartsAt(const std::vector<uint8_t>& bytes, size_t at) {
  const size_t available = bytes.size() - at;
  if (available < sizeof kClusterId + 1) {
    return std::memcmp(bytes.data() + at, kClusterId, std::min(available, sizeof kClusterId)) == 0
               ? Start::kNeedMore
               : Start::kNo;
  }
  if (std::memcmp(bytes.data() + at, kClusterId, sizeof kClusterId) != 0) return Start::kNo;
  const uint8_t first = bytes[at + sizeof kClusterId];
  if (first == 0) return Start::kNo;  // no EBML number is that long
  size_t size_length = 1;
  while ((first & (0x80U >> (size_length - 1))) == 0) ++size_length;
  size_t timestamp_at = at + sizeof kClusterId + size_length;
  if (timestamp_at >= bytes.size()) return Start::kNeedMore;
  if (bytes[timestamp_at] == kCrc32Id) {
    // A checksum of the cluster may come first: its ID, size 4, 4 bytes.
    if (timestamp_at + 6 >= bytes.size()) return Start::kNeedMore;
    if (bytes[timestamp_at + 1] != 0x84) return Start::kNo;
    timestamp_at += 6;
  }
  return bytes[timestamp_at] == kClusterTimestampId ? Start::kYes : Start::kNo;
}

// The first cluster start at or after bytes[from]. Without one,
// `*resume_at` says where to look again once more bytes have come (a start
// may begin in the last bytes, which are not all there yet).
std::optional<size_t> FindClusterStart(const std::vector<uint8_t>& bytes, size_t from,
                                       size_t* resume_at) {
  size_t at = from;
  while (at < bytes.size()) {
    const auto* found = static_cast<const uint8_t*>(
        std::memchr(bytes.data() + at, kClusterId[0], bytes.size() - at));
    if (found == nullptr) break;
    at = static_cast<size_t>(found - bytes.data());
    switch (ClusterStartsAt(bytes, at)) {
      case Start::kYes:
        return at;
      case Start::kNeedMore:
        *resume_at = at;
        return std::nullopt;
      case Start::kNo:
        ++at;
        break;
    }
  }
  *resume_at = bytes.size();
  return std::nullopt;
}

// An EBML Void element `length` bytes long in all: its ID and size, then
// `*body` bytes that readers skip. Nothing for a length no Void can have.
std::optional<std::vector<uint8_t>> VoidHeader(uint64_t length, uint64_t* body) {
  if (length >= 9) {
    // The size as an 8-byte EBML number: 0x01, then 7 bytes.
    std::vector<uint8_t> header{kVoidId, 0x01};
    *body = length - 9;
    for (int shift = 48; shift >= 0; shift -= 8)
      header.push_back(static_cast<uint8_t>(*body >> shift));
    return header;
  }
  if (length >= 2) {
    *body = length - 2;
    return std::vector<uint8_t>{kVoidId, static_cast<uint8_t>(0x80U | *body)};
  }
  return std::nullopt;
}

}  // namespace

void MatroskaStreamHead::Feed(const uint8_t* data, size_t length) {
  total_ += length;
  switch (state_) {
    case State::kReading: {
      const size_t had = head_.size();
      head_.insert(head_.end(), data, data + length);
      if (std::memcmp(head_.data(), kEbmlMagic, std::min(head_.size(), sizeof kEbmlMagic)) != 0) {
        GiveUp();
        return;
      }
      size_t resume_at = 0;
      // A start seen in the last bytes before may not have been whole then.
      const size_t from =
          std::max<size_t>(sizeof kEbmlMagic, had > kLongestStart ? had - kLongestStart : 0);
      const std::optional<size_t> first = FindClusterStart(head_, from, &resume_at);
      if (!first) {
        if (head_.size() > kMaxHeadBytes) {
          log::Info("media", log::kNoPort, "a Matroska stream's head is over {} bytes: not kept",
                    kMaxHeadBytes);
          GiveUp();
        }
        return;
      }
      Cluster cluster;
      cluster.start = *first;
      cluster.bytes.assign(head_.begin() + static_cast<ptrdiff_t>(*first), head_.end());
      head_.resize(*first);
      head_.shrink_to_fit();
      clusters_.push_back(std::move(cluster));
      state_ = State::kFollowing;
      FindClusters();
      break;
    }
    case State::kFollowing:
      clusters_.back().bytes.insert(clusters_.back().bytes.end(), data, data + length);
      FindClusters();
      break;
    case State::kNotMatroska:
      break;
  }
}

void MatroskaStreamHead::GiveUp() {
  state_ = State::kNotMatroska;
  head_ = std::vector<uint8_t>();
  clusters_.clear();
}

void MatroskaStreamHead::FindClusters() {
  for (;;) {
    Cluster& current = clusters_.back();
    size_t resume_at = 0;
    const std::optional<size_t> next = FindClusterStart(current.bytes, current.scanned, &resume_at);
    if (!next) {
      current.scanned = resume_at;
      break;
    }
    Cluster cluster;
    cluster.start = current.start + current.dropped + *next;
    cluster.bytes.assign(current.bytes.begin() + static_cast<ptrdiff_t>(*next),
                         current.bytes.end());
    current.bytes.resize(*next);
    clusters_.push_back(std::move(cluster));
    if (clusters_.size() > kKeptClusters) clusters_.pop_front();
  }
  // A cluster too large to keep: only its last bytes stay, to find the
  // next start in.
  Cluster& current = clusters_.back();
  if (current.bytes.size() > kMaxClusterBytes) {
    const size_t keep = current.bytes.size() - current.scanned;
    const size_t drop = current.bytes.size() - keep;
    current.bytes.erase(current.bytes.begin(),
                        current.bytes.begin() + static_cast<ptrdiff_t>(drop));
    current.bytes.shrink_to_fit();
    current.dropped += drop;
    current.scanned = 0;
  }
}

std::optional<StreamLeadIn> MatroskaStreamHead::LeadInAt(uint64_t offset) const {
  if (state_ != State::kFollowing) return std::nullopt;
  const Cluster* holder = nullptr;
  for (const Cluster& cluster : clusters_) {
    if (cluster.dropped == 0 && cluster.start <= offset &&
        offset <= cluster.start + cluster.bytes.size()) {
      holder = &cluster;
    }
  }
  if (holder == nullptr) {
    log::Info(
        "media", log::kNoPort,
        "the Matroska cluster holding byte {} was not kept: the stream cannot be joined there",
        offset);
    return std::nullopt;
  }
  uint64_t body = 0;
  const uint64_t gap = holder->start - head_.size();
  StreamLeadIn lead_in;
  StreamLeadIn::Piece head;
  head.bytes = head_;
  if (gap > 0) {
    const std::optional<std::vector<uint8_t>> void_header = VoidHeader(gap, &body);
    if (!void_header) return std::nullopt;
    head.bytes.insert(head.bytes.end(), void_header->begin(), void_header->end());
    head.zeros = body;
  }
  lead_in.pieces.push_back(std::move(head));
  StreamLeadIn::Piece cluster;
  cluster.bytes.assign(holder->bytes.begin(),
                       holder->bytes.begin() + static_cast<ptrdiff_t>(offset - holder->start));
  lead_in.pieces.push_back(std::move(cluster));
  return lead_in;
}

}  // namespace qx::media
