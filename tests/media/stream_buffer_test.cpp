// The live stream's buffer on its own: bytes come out in the order they
// went in across the end of the storage, a block that does not fit is
// refused whole and leaves the buffer as it was, and the ends of the input
// wake a waiting reader.
#include "backends/media/stream_buffer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <numeric>
#include <vector>

namespace qxmedia_test {
namespace {

using qx::media::StreamBuffer;

std::vector<uint8_t> Bytes(size_t count, uint8_t first) {
  std::vector<uint8_t> bytes(count);
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

std::vector<uint8_t> ReadExactly(StreamBuffer& buffer, size_t count) {
  std::vector<uint8_t> out(count);
  size_t got = 0;
  while (got < count) {
    const size_t read = buffer.Read(out.data() + got, count - got);
    if (read == 0) break;
    got += read;
  }
  out.resize(got);
  return out;
}

TEST(StreamBufferTest, BytesComeOutInOrderAcrossTheEndOfTheStorage) {
  StreamBuffer buffer(8);
  ASSERT_TRUE(buffer.Push(Bytes(6, 0).data(), 6));
  EXPECT_EQ(ReadExactly(buffer, 4), Bytes(4, 0));
  // Two bytes left at offsets 4 and 5; the next five wrap to the start.
  ASSERT_TRUE(buffer.Push(Bytes(5, 6).data(), 5));
  EXPECT_EQ(buffer.Size(), 7U);
  std::vector<uint8_t> expected = Bytes(7, 4);
  EXPECT_EQ(ReadExactly(buffer, 7), expected);
  EXPECT_EQ(buffer.TotalPushed(), 11U);
}

struct RefusalCase {
  const char* name;
  size_t capacity;
  size_t already;  // bytes in the buffer before the offer
  size_t offered;
  bool taken;
};

class StreamBufferRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(StreamBufferRefusal, ABlockIsTakenWholeOrRefusedLeavingTheBufferAsItWas) {
  const RefusalCase& c = GetParam();
  StreamBuffer buffer(c.capacity);
  if (c.already > 0) {
    ASSERT_TRUE(buffer.Push(Bytes(c.already, 100).data(), c.already));
  }
  EXPECT_EQ(buffer.Fits(c.offered), c.taken);
  EXPECT_EQ(buffer.Push(Bytes(c.offered, 0).data(), c.offered), c.taken);
  EXPECT_EQ(buffer.Size(), c.already + (c.taken ? c.offered : 0));
  EXPECT_EQ(buffer.TotalPushed(), c.already + (c.taken ? c.offered : 0));
  // What was there before is untouched by a refusal.
  EXPECT_EQ(ReadExactly(buffer, c.already), Bytes(c.already, 100));
}

INSTANTIATE_TEST_SUITE_P(Cases, StreamBufferRefusal,
                         ::testing::Values(RefusalCase{"FillsExactly", 8, 3, 5, true},
                                           RefusalCase{"OneByteTooMany", 8, 3, 6, false},
                                           RefusalCase{"LargerThanTheWholeBuffer", 8, 0, 9, false},
                                           RefusalCase{"EmptyBlockAlwaysFits", 8, 8, 0, true}),
                         [](const ::testing::TestParamInfo<RefusalCase>& case_info) {
                           return case_info.param.name;
                         });

TEST(StreamBufferTest, ARefusedBlockIsTakenOnceTheReaderMadeRoom) {
  StreamBuffer buffer(8);
  ASSERT_TRUE(buffer.Push(Bytes(6, 0).data(), 6));
  ASSERT_FALSE(buffer.Push(Bytes(4, 6).data(), 4));
  EXPECT_EQ(ReadExactly(buffer, 2), Bytes(2, 0));
  ASSERT_TRUE(buffer.Push(Bytes(4, 6).data(), 4));
  EXPECT_EQ(ReadExactly(buffer, 8), Bytes(8, 2));
}

TEST(StreamBufferTest, EndOfInputDrainsWhatIsLeftThenReadsNothing) {
  StreamBuffer buffer(8);
  ASSERT_TRUE(buffer.Push(Bytes(3, 0).data(), 3));
  buffer.EndInput();
  EXPECT_FALSE(buffer.Push(Bytes(1, 0).data(), 1));
  EXPECT_EQ(ReadExactly(buffer, 3), Bytes(3, 0));
  uint8_t byte = 0;
  EXPECT_EQ(buffer.Read(&byte, 1), 0U);
}

TEST(StreamBufferTest, AbortWakesAWaitingReaderAndDropsTheRest) {
  StreamBuffer buffer(8);
  uint8_t out[4] = {};
  std::future<size_t> reader = std::async(std::launch::async, [&] { return buffer.Read(out, 4); });
  // The reader is waiting once WaitUntilConsumed sees it waiting on an
  // empty buffer.
  buffer.WaitUntilConsumed();
  buffer.Abort();
  ASSERT_EQ(reader.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(reader.get(), 0U);
  EXPECT_FALSE(buffer.Push(Bytes(1, 0).data(), 1));
}

TEST(StreamBufferTest, AWaitingReaderGetsTheNextBlock) {
  StreamBuffer buffer(8);
  uint8_t out[4] = {};
  std::future<size_t> reader = std::async(std::launch::async, [&] { return buffer.Read(out, 4); });
  buffer.WaitUntilConsumed();
  ASSERT_TRUE(buffer.Push(Bytes(2, 7).data(), 2));
  ASSERT_EQ(reader.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(reader.get(), 2U);
  EXPECT_EQ(out[0], 7);
  EXPECT_EQ(out[1], 8);
}

}  // namespace
}  // namespace qxmedia_test
