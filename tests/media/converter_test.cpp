// The 3GPP play library and the 3GP converter on a 3GP stream pushed block
// by block.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "backends/gp3_converter.h"
#include "backends/gpp_player.h"
#include "backends/media/media_port.h"
#include "tests/media/media_test_support.h"
#include "tests/media/notification_log.h"

namespace qxmedia_test {
namespace {

constexpr int32_t kPort = 60;
constexpr size_t kBlock = 4096;

template <typename Push>
void FeedBlocks(const std::vector<uint8_t>& bytes, size_t from, size_t to, Push push) {
  for (size_t at = from; at < to;) {
    const size_t length = std::min(kBlock, to - at);
    if (push(bytes.data() + at, length)) {
      at += length;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
}

TEST(ConverterTest, SwitchingAndStoppingLeaveFinishedFilesThatHoldTheWholeStream) {
  const std::vector<uint8_t> bytes = ReadBytes(Clip("3gp"));
  const std::string first = TempPath("conv-1.3gp");
  const std::string second = TempPath("conv-2.3gp");
  ASSERT_EQ(conv_start(kPort, first.c_str()), 0);
  auto push = [](const uint8_t* data, size_t length) {
    return conv_input_data(kPort, data, static_cast<uint32_t>(length)) == 0;
  };
  FeedBlocks(bytes, 0, bytes.size() / 2, push);
  ASSERT_EQ(conv_switch_file(kPort, second.c_str()), 0);
  FeedBlocks(bytes, bytes.size() / 2, bytes.size(), push);
  ASSERT_EQ(conv_stop(kPort), 0);
  EXPECT_NE(conv_stop(kPort), 0);

  int total = 0;
  for (const std::string& file : {first, second}) {
    SCOPED_TRACE(file);
    const std::vector<ProbedFrame> frames = ProbeFrames(file);
    ASSERT_FALSE(frames.empty());
    EXPECT_TRUE(frames.front().key);
    EXPECT_EQ(ProbeVideoEntry(file, "codec_name"), "h264");
    EXPECT_GT(ProbeDuration(file), 0.2);
    EXPECT_NE(
        RunCommand("ffprobe -v error -show_entries format=format_name -of csv=p=0 '" + file + "'")
            .find("3gp"),
        std::string::npos);
    total += static_cast<int>(frames.size());
  }
  // The second file starts at the first key frame after the switch: at most
  // one group of pictures (12) is left out.
  EXPECT_LE(total, 50);
  EXPECT_GE(total, 50 - 11);
}

TEST(ConverterTest, StartOnAConvertingPortGoesOnInANewFileAndBadNamesFail) {
  const std::vector<uint8_t> bytes = ReadBytes(Clip("3gp"));
  EXPECT_NE(conv_start(kPort, TempPath("missing-dir/a.3gp").c_str()), 0);
  EXPECT_NE(conv_input_data(kPort, bytes.data(), 16), 0);  // not converting
  EXPECT_NE(conv_switch_file(kPort, TempPath("b.3gp").c_str()), 0);
  const std::string only = TempPath("only.3gp");
  ASSERT_EQ(conv_start(kPort, TempPath("empty.3gp").c_str()), 0);
  ASSERT_EQ(conv_start(kPort, only.c_str()), 0);
  FeedBlocks(bytes, 0, bytes.size(), [](const uint8_t* data, size_t length) {
    return conv_input_data(kPort, data, static_cast<uint32_t>(length)) == 0;
  });
  ASSERT_EQ(conv_stop(kPort), 0);
  EXPECT_EQ(ProbeFrameCount(only), 50);
  EXPECT_NEAR(ProbeDuration(only), 2.0, 0.15);
}

TEST(GppPlayerTest, OperationsAnswerZeroForSuccessAndDecodeTheStream) {
  const std::vector<uint8_t> bytes = ReadBytes(Clip("3gp"));
  ASSERT_EQ(gpp_open_stream(kPort, nullptr, 512 * 1024), 0);
  EXPECT_NE(gpp_open_stream(kPort, nullptr, 512 * 1024), 0);  // already open
  ASSERT_EQ(gpp_play(kPort, nullptr), 0);
  FeedBlocks(bytes, 0, bytes.size(), [](const uint8_t* data, size_t length) {
    return gpp_input_data(kPort, data, static_cast<uint32_t>(length)) == 0;
  });
  int32_t colour[4] = {};
  EXPECT_EQ(gpp_set_colour(kPort, 0, 10, 20, 30, 40), 0);
  EXPECT_NE(gpp_set_colour(kPort, 0, 10, 20, 30, 400), 0);
  ASSERT_EQ(gpp_get_colour(kPort, 0, &colour[0], &colour[1], &colour[2], &colour[3]), 0);
  EXPECT_EQ(colour[3], 40);
  EXPECT_EQ(gpp_stop(kPort), 0);
  EXPECT_EQ(gpp_close_stream(kPort), 0);
  EXPECT_NE(gpp_close_stream(kPort), 0);
  EXPECT_NE(gpp_input_data(kPort, bytes.data(), 16), 0);
  EXPECT_NE(gpp_play(kPort, nullptr), 0);
}

TEST(GppPlayerTest, TheEngineDecodesEveryPictureOfAPushed3gpStream) {
  // The 3GPP play library registers no notifications; the engine it runs on
  // shows what it decodes.
  const std::vector<uint8_t> bytes = ReadBytes(Clip("3gp"));
  std::shared_ptr<qx::media::MediaPort> port =
      qx::media::MediaPort::OpenStream(kPort, nullptr, 0, 512 * 1024);
  ASSERT_TRUE(port);
  NotificationLog log;
  port->SetDecodeCallback(&NotificationLog::OnDecode, reinterpret_cast<uintptr_t>(&log));
  ASSERT_TRUE(port->Play(nullptr));
  for (int i = 0; i < 4; ++i) port->Faster();
  FeedBlocks(bytes, 0, bytes.size(), [&](const uint8_t* data, size_t length) {
    return port->InputData(data, length) == qx::media::PushResult::kTaken;
  });
  // The MP4 reader sees every sample's size in the index: all 50 come out.
  EXPECT_TRUE(WaitFor([&] { return log.DecodedCount() >= 50; }));
  const std::vector<DecodedRecord> decoded = log.Decoded();
  ASSERT_FALSE(decoded.empty());
  EXPECT_EQ(decoded.back().timestamp_ms, 40U * (decoded.size() - 1));
  port->Close();
}

}  // namespace
}  // namespace qxmedia_test
