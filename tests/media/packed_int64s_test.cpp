// The packed sequence gives back every value it was given, whatever the
// distance between neighbours: block breaks at discontinuities, at the
// edges of the 32-bit offsets and around FFmpeg's "no timestamp".
#include "backends/media/packed_int64s.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace qxmedia_test {
namespace {

using qx::media::PackedInt64s;

constexpr int64_t kNone = std::numeric_limits<int64_t>::min();
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

std::vector<int64_t> Regular(int64_t first, int64_t step, size_t count) {
  std::vector<int64_t> values;
  for (size_t i = 0; i < count; ++i) values.push_back(first + step * static_cast<int64_t>(i));
  return values;
}

TEST(PackedInt64sTest, GivesBackEveryValue) {
  struct Case {
    std::string name;
    std::vector<int64_t> values;
  };
  std::vector<int64_t> discontinuity = Regular(8589930000, 3600, 1500);  // MPEG-TS wraps
  for (int64_t value : Regular(0, 3600, 1500)) discontinuity.push_back(value);
  std::vector<int64_t> holes = Regular(-1, 1, 3000);
  for (size_t i = 0; i < holes.size(); i += 7) holes[i] = kNone;
  std::vector<int64_t> leading_holes(PackedInt64s::kBlockLength + 3, kNone);
  leading_holes.push_back(42);
  leading_holes.push_back(41);
  const std::vector<Case> cases = {
      {"empty", {}},
      {"regular over several blocks", Regular(1000, 3600, 5000)},
      {"timestamp discontinuity", discontinuity},
      {"offsets at the edge of 32 bits",
       {0, std::numeric_limits<int32_t>::max(), int64_t{std::numeric_limits<int32_t>::max()} + 1,
        -int64_t{std::numeric_limits<int32_t>::max()}, std::numeric_limits<int32_t>::min(), 0}},
      {"the ends of 64 bits", {kMax, kNone + 1, kMax, kNone, kNone + 1, 0, kMax - 1}},
      {"holes", holes},
      {"a block of nothing first", leading_holes},
      {"every value far from the last",
       {0, 1LL << 40, -(1LL << 40), 1LL << 50, 3, kNone, 1LL << 33}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PackedInt64s packed;
    for (int64_t value : c.values) packed.PushBack(value);
    packed.ShrinkToFit();
    ASSERT_EQ(packed.size(), c.values.size());
    for (size_t i = 0; i < c.values.size(); ++i) ASSERT_EQ(packed[i], c.values[i]) << "at " << i;
  }
}

// What the packing is for: neighbours close together cost 4 bytes each, not 8.
TEST(PackedInt64sTest, CloseValuesTakeFourBytesEach) {
  PackedInt64s packed;
  const std::vector<int64_t> values = Regular(1LL << 40, 3600, 100000);
  for (int64_t value : values) packed.PushBack(value);
  packed.ShrinkToFit();
  EXPECT_LT(packed.MemoryBytes(), values.size() * 5);
  packed.Clear();
  EXPECT_TRUE(packed.empty());
  EXPECT_EQ(packed.MemoryBytes(), 0U);
}

}  // namespace
}  // namespace qxmedia_test
