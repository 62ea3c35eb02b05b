// Decode notifications carry limited-range I420 from every source: MJPEG's
// full-range pictures are converted as FFmpeg converts them, not handed on
// with their 0..255 levels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "backends/player.h"
#include "tests/media/media_test_support.h"

namespace qxmedia_test {
namespace {

constexpr int32_t kPort = 85;

struct FirstPicture {
  std::mutex mutex;
  std::vector<uint8_t> bytes;
};

void QX_BACKEND_CALL KeepPicture(int32_t /*port*/, uintptr_t picture, uintptr_t size,
                                 const PlayerFrameInfo* /*info*/, uintptr_t user,
                                 uintptr_t /*number*/) {
  auto* first = reinterpret_cast<FirstPicture*>(user);
  std::lock_guard<std::mutex> guard(first->mutex);
  const auto* data = reinterpret_cast<const uint8_t*>(picture);
  first->bytes.assign(data, data + size);
}

void ExpectLimitedRangeFirstPicture(const std::string& clip, const std::string& encoding) {
  RunCommand(
      "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi "
      "-i testsrc2=size=160x120:rate=25 -frames:v 5 " +
      encoding + " '" + clip + "'");
  // FFmpeg's own answer: the first picture as limited-range I420.
  const std::string reference =
      RunCommand("ffmpeg -nostdin -hide_banner -loglevel error -i '" + clip +
                 "' -frames:v 1 -vf scale=out_range=tv,format=yuv420p -f rawvideo -");
  ASSERT_EQ(reference.size(), 160U * 120U * 3 / 2);

  FirstPicture first;
  ASSERT_EQ(player_open_file(kPort, clip.c_str()), 1);
  ASSERT_EQ(player_set_decode_callback(kPort, &KeepPicture, reinterpret_cast<uintptr_t>(&first)),
            1);
  ASSERT_EQ(player_play(kPort, nullptr), 1);
  ASSERT_EQ(player_pause(kPort, 1), 1);
  ASSERT_EQ(player_set_current_frame(kPort, 0), 1);
  ASSERT_TRUE(WaitFor([&] {
    std::lock_guard<std::mutex> guard(first.mutex);
    return !first.bytes.empty();
  }));
  EXPECT_EQ(player_close_file(kPort), 1);

  std::lock_guard<std::mutex> guard(first.mutex);
  ASSERT_EQ(first.bytes.size(), reference.size());
  double total = 0;
  int largest = 0;
  for (size_t i = 0; i < reference.size(); ++i) {
    const int difference = std::abs(first.bytes[i] - static_cast<uint8_t>(reference[i]));
    total += difference;
    largest = std::max(largest, difference);
  }
  // Full-range levels handed on unconverted differ by up to 20 (black 0 for
  // 16, white 255 for 235); a conversion differs from FFmpeg's by rounding.
  EXPECT_LT(total / static_cast<double>(reference.size()), 1.0);
  EXPECT_LE(largest, 4);
}

TEST(PictureRangeTest, FullRangePicturesReachTheDecodeCallbackInLimitedRange) {
  // MJPEG's "J" format; H.264 full range (also a "J" format from FFmpeg's
  // decoder); H.265 full range (plain 4:2:0 marked by its colour range).
  struct Case {
    const char* file;
    const char* encoding;
  };
  for (const Case& c : {Case{"full-range.avi", "-c:v mjpeg -pix_fmt yuvj420p -q:v 2"},
                        Case{"full-range-h264.mp4", "-c:v libx264 -pix_fmt yuvj420p"},
                        Case{"full-range-h265.mp4",
                             "-c:v libx265 -x265-params log-level=error -pix_fmt yuv420p "
                             "-color_range pc"}}) {
    SCOPED_TRACE(c.file);
    ExpectLimitedRangeFirstPicture(TempPath(c.file), c.encoding);
  }
}

}  // namespace
}  // namespace qxmedia_test
