// The head and clusters a port keeps of a pushed Matroska stream, fed in
// blocks of every size: a start split between two blocks must be found as
// when it comes whole.
#include "backends/media/matroska_stream_head.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "tests/media/media_test_support.h"

namespace qxmedia_test {
namespace {

using qx::media::MatroskaStreamHead;
using qx::media::StreamLeadIn;

std::vector<uint8_t> ManyClusters() {
  // Clusters every 200 ms, each with a checksum.
  const std::string path = TempPath("clusters.mkv");
  RunCommand(
      "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=160x120:rate=25 -frames:v 50 "
      "-c:v libx264 -g 12 -bf 2 -pix_fmt yuv420p -cluster_time_limit 200 -f matroska '" +
      path + "'");
  return ReadBytes(path);
}

MatroskaStreamHead FedInBlocks(const std::vector<uint8_t>& bytes, size_t block) {
  MatroskaStreamHead head;
  for (size_t at = 0; at < bytes.size(); at += block) {
    head.Feed(bytes.data() + at, std::min(block, bytes.size() - at));
  }
  return head;
}

std::vector<uint8_t> Flatten(const StreamLeadIn& lead_in) {
  std::vector<uint8_t> bytes(lead_in.length());
  lead_in.Read(0, bytes.data(), bytes.size());
  return bytes;
}

TEST(MatroskaStreamHeadTest, EveryBlockSizeGivesTheLeadInOfTheClusterJoinedIn) {
  const std::vector<uint8_t> bytes = ManyClusters();
  ASSERT_GT(bytes.size(), 4096U);
  const MatroskaStreamHead whole = FedInBlocks(bytes, bytes.size());
  // Joined three quarters in: inside one of the last clusters kept.
  const uint64_t joined = bytes.size() * 3 / 4;
  const std::optional<StreamLeadIn> expected = whole.LeadInAt(joined);
  ASSERT_TRUE(expected.has_value());
  const std::vector<uint8_t> lead_in = Flatten(*expected);
  ASSERT_EQ(lead_in.size(), joined) << "the reader's offsets are the stream's";
  ASSERT_EQ(expected->pieces.size(), 2U);
  // The head as pushed, then a Void element, then the cluster's own bytes
  // up to the join.
  const std::vector<uint8_t>& head = expected->pieces[0].bytes;
  const std::vector<uint8_t>& cluster = expected->pieces[1].bytes;
  ASSERT_GT(head.size(), 9U);
  EXPECT_TRUE(std::equal(head.begin(), head.end() - 9, bytes.begin()));
  EXPECT_EQ(head[head.size() - 9], 0xEC);
  const uint64_t cluster_start = joined - cluster.size();
  EXPECT_EQ(std::memcmp(bytes.data() + cluster_start, "\x1F\x43\xB6\x75", 4), 0);
  EXPECT_TRUE(std::equal(cluster.begin(), cluster.end(), bytes.begin() + cluster_start));
  EXPECT_LT(cluster_start, joined);
  EXPECT_FALSE(whole.LeadInAt(100).has_value()) << "inside the head";

  for (const size_t block : {1UL, 3UL, 7UL, 13UL, 188UL, 4096UL}) {
    SCOPED_TRACE("blocks of " + std::to_string(block));
    const std::optional<StreamLeadIn> got = FedInBlocks(bytes, block).LeadInAt(joined);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(Flatten(*got), lead_in);
  }
}

TEST(MatroskaStreamHeadTest, OtherStreamsGetNoLeadIn) {
  const std::vector<uint8_t> ts = ReadBytes(Clip("ts"));
  EXPECT_FALSE(FedInBlocks(ts, 4096).LeadInAt(ts.size() / 2).has_value());
}

}  // namespace
}  // namespace qxmedia_test
