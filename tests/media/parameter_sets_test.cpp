// A key frame of a stream that sent its parameter sets only before an
// earlier picture gets the kept sets in front, after its access unit
// delimiter, and only the kinds it lacks.
#include "backends/media/parameter_sets.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qxmedia_test {
namespace {

using qx::media::ParameterSetMemory;
using Bytes = std::vector<uint8_t>;

Bytes Join(const std::vector<Bytes>& units) {
  Bytes joined;
  for (const Bytes& unit : units) {
    joined.insert(joined.end(), {0, 0, 0, 1});
    joined.insert(joined.end(), unit.begin(), unit.end());
  }
  return joined;
}

Bytes Concat(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

qx::media::PacketPtr PacketOf(const Bytes& bytes) {
  qx::media::PacketPtr packet = qx::media::MakePacket();
  EXPECT_GE(av_new_packet(packet.get(), static_cast<int>(bytes.size())), 0);
  std::copy(bytes.begin(), bytes.end(), packet->data);
  packet->pts = 7;
  packet->flags = AV_PKT_FLAG_KEY;
  return packet;
}

// NAL units by their header byte(s) and a payload byte telling them apart.
const Bytes kSps = {0x67, 0x01}, kPps = {0x68, 0x02}, kNewPps = {0x68, 0x03};
const Bytes kIdr = {0x65, 0x88, 0x00, 0x00, 0x04}, kDelimiter = {0x09, 0xf0};
const Bytes kVps265 = {0x40, 0x01, 0x0c}, kSps265 = {0x42, 0x01, 0x01},
            kPps265 = {0x44, 0x01, 0xc1};
const Bytes kCra265 = {0x2a, 0x01, 0xaf}, kDelimiter265 = {0x46, 0x01, 0x50};

TEST(ParameterSetMemoryTest, CompletesKeyFramesWithTheSetsTheyLack) {
  struct Case {
    std::string name;
    AVCodecID codec;
    std::vector<Bytes> seen;  // packets observed before, as NAL units
    Bytes key;
    Bytes expected;  // empty: left as it is
  };
  const std::vector<Case> cases = {
      {"bare key frame",
       AV_CODEC_ID_H264,
       {Join({kSps, kPps, kIdr})},
       Join({kIdr}),
       Join({kSps, kPps, kIdr})},
      {"after its delimiter",
       AV_CODEC_ID_H264,
       {Join({kDelimiter, kSps, kPps, kIdr})},
       Join({kDelimiter, kIdr}),
       Join({kDelimiter, kSps, kPps, kIdr})},
      {"three-byte start code",
       AV_CODEC_ID_H264,
       {Join({kSps, kPps, kIdr})},
       Bytes{0, 0, 1, 0x65, 0x88},
       Concat(Join({kSps, kPps}), Bytes{0, 0, 1, 0x65, 0x88})},
      {"a later PPS replaces the kept one",
       AV_CODEC_ID_H264,
       {Join({kSps, kPps, kIdr}), Join({kNewPps})},
       Join({kIdr}),
       Join({kSps, kNewPps, kIdr})},
      {"carries its own",
       AV_CODEC_ID_H264,
       {Join({kSps, kPps, kIdr})},
       Join({kSps, kPps, kIdr}),
       {}},
      {"lacks only the PPS",
       AV_CODEC_ID_H264,
       {Join({kSps, kPps, kIdr})},
       Join({kSps, kIdr}),
       Join({kPps, kSps, kIdr})},
      {"nothing seen", AV_CODEC_ID_H264, {}, Join({kIdr}), {}},
      {"length-prefixed (MP4)",
       AV_CODEC_ID_H264,
       {Join({kSps, kPps, kIdr})},
       Bytes{0, 0, 0, 5, 0x65, 0x88, 0, 0, 4},
       {}},
      {"H.265 after its delimiter",
       AV_CODEC_ID_HEVC,
       {Join({kDelimiter265, kVps265, kSps265, kPps265, kCra265})},
       Join({kDelimiter265, kCra265}),
       Join({kDelimiter265, kVps265, kSps265, kPps265, kCra265})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ParameterSetMemory memory;
    for (const Bytes& seen : c.seen) memory.Observe(c.codec, *PacketOf(seen));
    const qx::media::PacketPtr key = PacketOf(c.key);
    const qx::media::PacketPtr completed = memory.Completed(c.codec, *key);
    if (c.expected.empty()) {
      EXPECT_EQ(completed, nullptr);
      continue;
    }
    ASSERT_NE(completed, nullptr);
    EXPECT_EQ(Bytes(completed->data, completed->data + completed->size), c.expected);
    EXPECT_EQ(completed->pts, 7);
    EXPECT_NE(completed->flags & AV_PKT_FLAG_KEY, 0);
  }
}

}  // namespace
}  // namespace qxmedia_test
