// A live stream's input under hostile data: blocks that can never fit, buffer
// sizes beyond the limit, memory taken only as bytes arrive, bytes that are
// not recognised before the real stream starts, and an access unit that
// never ends.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "backends/gpp_player.h"
#include "backends/media/media_input.h"
#include "backends/media/stream_buffer.h"
#include "backends/player.h"
#include "qxplaysdk.h"
#include "tests/media/media_test_support.h"
#include "tests/media/notification_log.h"

namespace qxmedia_test {
namespace {

using qx::media::kMaxStreamBufferBytes;
using qx::media::PushResult;
using qx::media::StreamBuffer;

constexpr int32_t kPort = 60;

// Under the sanitizers resident memory says little about the engine: freed
// blocks wait in a quarantine and shadow memory grows with every page used.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kResidentMemoryTellsTheEnginesUse = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kResidentMemoryTellsTheEnginesUse = false;
#else
constexpr bool kResidentMemoryTellsTheEnginesUse = true;
#endif
#else
constexpr bool kResidentMemoryTellsTheEnginesUse = true;
#endif
constexpr size_t kBlock = 64 * 1024;

// Resident memory of this process in bytes.
size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  size_t pages = 0;
  size_t resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// Pushes every byte, offering a refused block again once the reader has
// taken what waits (never on a timer).
void Feed(int32_t port, const std::vector<uint8_t>& bytes) {
  for (size_t at = 0; at < bytes.size();) {
    const size_t length = std::min(kBlock, bytes.size() - at);
    const int32_t result =
        player_input_data(port, bytes.data() + at, static_cast<uint32_t>(length));
    ASSERT_NE(result, QX_PLAYER_INVALID_ARGUMENT);
    if (result == 1) {
      at += length;
    } else {
      std::this_thread::yield();
    }
  }
}

TEST(StreamBufferTest, BlocksWrapAroundAsTheBufferGrowsAndComeOutInOrder) {
  StreamBuffer buffer(200 * 1024);
  EXPECT_EQ(buffer.Allocated(), 0U) << "nothing is taken before a byte arrives";
  std::vector<uint8_t> written;
  std::vector<uint8_t> read;
  uint8_t next = 0;
  std::vector<uint8_t> out(50000);
  // Sizes chosen so that the ring wraps before and after each growth.
  for (size_t length : {30000U, 30000U, 50000U, 70000U, 100000U, 20000U, 150000U, 7U}) {
    std::vector<uint8_t> block(length);
    for (uint8_t& byte : block) byte = next++;
    while (buffer.Offer(block.data(), block.size()) == PushResult::kFull) {
      const size_t got = buffer.Read(out.data(), out.size());
      read.insert(read.end(), out.begin(), out.begin() + static_cast<ptrdiff_t>(got));
    }
    written.insert(written.end(), block.begin(), block.end());
    const size_t got = buffer.Read(out.data(), 25000);
    read.insert(read.end(), out.begin(), out.begin() + static_cast<ptrdiff_t>(got));
  }
  while (buffer.Size() > 0) {
    const size_t got = buffer.Read(out.data(), out.size());
    read.insert(read.end(), out.begin(), out.begin() + static_cast<ptrdiff_t>(got));
  }
  EXPECT_EQ(read, written);
  EXPECT_LE(buffer.Allocated(), buffer.Capacity());
}

TEST(StreamBufferTest, ABlockLargerThanTheWholeBufferIsToldApartFromAFullOne) {
  StreamBuffer buffer(1000);
  const std::vector<uint8_t> block(1001, 1);
  EXPECT_EQ(buffer.Offer(block.data(), 1001), PushResult::kTooLarge);
  EXPECT_EQ(buffer.Offer(block.data(), 600), PushResult::kTaken);
  EXPECT_EQ(buffer.Offer(block.data(), 600), PushResult::kFull);
  EXPECT_EQ(buffer.Offer(block.data(), 400), PushResult::kTaken);
  buffer.Abort();
  EXPECT_EQ(buffer.Offer(block.data(), 1), PushResult::kClosed);
}

class StreamInputTest : public ::testing::Test {
 protected:
  void TearDown() override { player_close_stream(kPort); }
  NotificationLog log_;
};

TEST_F(StreamInputTest, BufferSizesAndBlocksThatCanNeverFitAreArgumentErrors) {
  EXPECT_EQ(player_open_stream(kPort, nullptr, 0, kMaxStreamBufferBytes + 1),
            QX_PLAYER_INVALID_ARGUMENT);
  EXPECT_EQ(gpp_open_stream(kPort, nullptr, 0xFFFFFFFFU), QX_GPP_INVALID_ARGUMENT);
  const std::vector<uint8_t> block(4096, 0x47);
  EXPECT_EQ(player_open_stream(kPort, block.data(), 4096, 1024), QX_PLAYER_INVALID_ARGUMENT);
  ASSERT_EQ(player_open_stream(kPort, nullptr, 0, 1024), 1);
  EXPECT_EQ(player_input_data(kPort, block.data(), 1025), QX_PLAYER_INVALID_ARGUMENT);
  EXPECT_EQ(player_input_data(kPort, block.data(), 1024), 1);
  ASSERT_EQ(player_close_stream(kPort), 1);

  // Through the library: -2 for the block that can never fit, 0 for one that
  // fits, -3 once the buffer is full (the reader waits for a format that
  // 0x47 bytes alone do not make).
  int32_t port = -1;
  ASSERT_EQ(Ovra_OpenStream(&port, nullptr, 0, 0xFFFFFFFFU, OVRA_MEDIA_PLAYER), OVRA_PARAM_ERROR);
  ASSERT_EQ(Ovra_CloseFile(port), OVRA_PLAYSDK_ERROR);  // nothing was open; the port is free
  ASSERT_EQ(Ovra_OpenStream(&port, nullptr, 0, 1024, OVRA_MEDIA_PLAYER), OVRA_OK);
  EXPECT_EQ(Ovra_InputData(port, block.data(), 4096), OVRA_PARAM_ERROR);
  EXPECT_EQ(Ovra_InputData(port, block.data(), 1024), OVRA_OK);
  EXPECT_EQ(Ovra_CloseStream(port), OVRA_OK);
}

TEST_F(StreamInputTest, ALargeBufferCostsMemoryOnlyAsBytesArrive) {
  const size_t before = ResidentBytes();
  ASSERT_EQ(player_open_stream(kPort, nullptr, 0, kMaxStreamBufferBytes), 1);
  const std::vector<uint8_t> bytes = ReadBytes(Clip("ts"));
  log_.Register(kPort);
  ASSERT_EQ(player_play(kPort, nullptr), 1);
  for (int i = 0; i < 4; ++i) player_faster(kPort);
  Feed(kPort, bytes);
  ASSERT_TRUE(WaitFor([this] { return log_.DecodedCount() >= 40; }));
  // A 256 MiB buffer that received a 100 KiB stream holds a few MiB at most.
  if (kResidentMemoryTellsTheEnginesUse) {
    EXPECT_LT(ResidentBytes(), before + 64U * 1024 * 1024);
  }
}

TEST_F(StreamInputTest, BytesNotRecognisedAreSkippedAndTheStreamAfterThemPlays) {
  // Two megabytes of text: more than one probe's worth, never a format.
  std::vector<uint8_t> bytes;
  const std::string line = "this is not a video stream, just a line of text\n";
  while (bytes.size() < 2 * 1024 * 1024) bytes.insert(bytes.end(), line.begin(), line.end());
  const std::vector<uint8_t> clip = ReadBytes(Clip("ts"));
  bytes.insert(bytes.end(), clip.begin(), clip.end());
  ASSERT_EQ(player_open_stream(kPort, nullptr, 0, 256 * 1024), 1);
  log_.Register(kPort);
  ASSERT_EQ(player_play(kPort, nullptr), 1);
  for (int i = 0; i < 4; ++i) player_faster(kPort);
  Feed(kPort, bytes);
  // The text went by without blocking the buffer; the stream after it plays.
  EXPECT_TRUE(WaitFor([this] { return log_.DecodedCount() >= 30; }));
}

TEST_F(StreamInputTest, AnAccessUnitThatNeverEndsIsDroppedInBoundedMemory) {
  const std::vector<uint8_t> clip = ReadBytes(Clip("h264"));
  // The clip, then a slice whose bytes go on for 96 MiB (no start code in
  // them), then the clip again.
  std::vector<uint8_t> endless = {0, 0, 0, 1, 0x41};
  endless.resize(96U * 1024 * 1024, 0xAB);
  ASSERT_EQ(player_open_stream(kPort, nullptr, 0, 1024 * 1024), 1);
  log_.Register(kPort);
  ASSERT_EQ(player_play(kPort, nullptr), 1);
  for (int i = 0; i < 4; ++i) player_faster(kPort);
  Feed(kPort, clip);
  ASSERT_TRUE(WaitFor([this] { return log_.DecodedCount() >= 30; }));
  const size_t before = ResidentBytes();
  Feed(kPort, endless);
  const size_t after_endless = ResidentBytes();
  const size_t decoded_before = log_.DecodedCount();
  Feed(kPort, clip);
  // Held to the 16 MiB cap (with the demuxer's copies), never one for one.
  if (kResidentMemoryTellsTheEnginesUse) {
    EXPECT_LT(after_endless, before + 64U * 1024 * 1024);
  }
  // Decoding starts again at the second clip's first key frame.
  EXPECT_TRUE(WaitFor([&] { return log_.DecodedCount() >= decoded_before + 30; }));
}

}  // namespace
}  // namespace qxmedia_test
