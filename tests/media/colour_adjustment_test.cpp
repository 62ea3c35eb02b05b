// The colour adjustment on its own, on a flat 4:2:0 picture: each setting
// moves the luma or the chroma as ColourSettings describes, and the
// picture handed in is left alone.
#include <gtest/gtest.h>

#include <cstdint>

#include "backends/media/ffmpeg.h"
#include "backends/media/picture.h"

namespace qxmedia_test {
namespace {

using qx::media::ColourSettings;

constexpr int kWidth = 6;  // odd chroma sizes are not needed; rows have padding
constexpr int kHeight = 4;

qx::media::FramePtr FlatPicture(uint8_t y, uint8_t u, uint8_t v) {
  qx::media::FramePtr frame = qx::media::MakeFrame();
  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = kWidth;
  frame->height = kHeight;
  EXPECT_EQ(av_frame_get_buffer(frame.get(), 0), 0);
  const uint8_t values[3] = {y, u, v};
  for (int plane = 0; plane < 3; ++plane) {
    const int rows = plane == 0 ? kHeight : kHeight / 2;
    for (int row = 0; row < rows; ++row) {
      std::fill_n(frame->data[plane] + row * frame->linesize[plane], frame->linesize[plane],
                  values[plane]);
    }
  }
  return frame;
}

struct Yuv {
  int y;
  int u;
  int v;
};

// Every sample of each plane holds the same value; the first one of each.
Yuv Sample(const AVFrame& frame) {
  for (int plane = 0; plane < 3; ++plane) {
    const int rows = plane == 0 ? kHeight : kHeight / 2;
    const int columns = plane == 0 ? kWidth : kWidth / 2;
    for (int row = 0; row < rows; ++row) {
      for (int x = 0; x < columns; ++x) {
        EXPECT_EQ(frame.data[plane][row * frame.linesize[plane] + x], frame.data[plane][0])
            << "plane " << plane << " is not flat";
      }
    }
  }
  return Yuv{frame.data[0][0], frame.data[1][0], frame.data[2][0]};
}

struct ColourCase {
  const char* name;
  ColourSettings settings;
  Yuv in;
  Yuv expected;
};

class ColourAdjustment : public ::testing::TestWithParam<ColourCase> {};

TEST_P(ColourAdjustment, MovesTheSamplesAsTheSettingsSay) {
  const ColourCase& c = GetParam();
  qx::media::FramePtr picture = FlatPicture(
      static_cast<uint8_t>(c.in.y), static_cast<uint8_t>(c.in.u), static_cast<uint8_t>(c.in.v));
  qx::media::FramePtr adjusted = qx::media::ApplyColour(*picture, c.settings);
  ASSERT_NE(adjusted, nullptr);
  const Yuv out = Sample(*adjusted);
  EXPECT_NEAR(out.y, c.expected.y, 1);
  EXPECT_NEAR(out.u, c.expected.u, 1);
  EXPECT_NEAR(out.v, c.expected.v, 1);
  const Yuv original = Sample(*picture);
  EXPECT_EQ(original.y, c.in.y) << "the input picture was changed";
  EXPECT_EQ(original.u, c.in.u);
}

// Settings are {brightness, contrast, saturation, hue}; 64 is neutral.
INSTANTIATE_TEST_SUITE_P(
    Cases, ColourAdjustment,
    ::testing::Values(
        ColourCase{"NeutralLeavesThePicture", {64, 64, 64, 64}, {100, 150, 90}, {100, 150, 90}},
        ColourCase{
            "BrightnessAddsTwicePerStep", {80, 64, 64, 64}, {100, 128, 128}, {132, 128, 128}},
        ColourCase{"BrightnessClipsAtBlack", {0, 64, 64, 64}, {100, 128, 128}, {0, 128, 128}},
        ColourCase{"BrightnessClipsAtWhite", {128, 64, 64, 64}, {200, 128, 128}, {255, 128, 128}},
        ColourCase{
            "ContrastDoublesAroundMidGrey", {64, 128, 64, 64}, {100, 128, 128}, {72, 128, 128}},
        ColourCase{"NoContrastIsMidGrey", {64, 0, 64, 64}, {30, 128, 128}, {128, 128, 128}},
        ColourCase{"NoSaturationIsGrey", {64, 64, 0, 64}, {100, 170, 60}, {100, 128, 128}},
        ColourCase{
            "HalfSaturationHalvesTheChroma", {64, 64, 32, 64}, {100, 168, 88}, {100, 148, 108}},
        ColourCase{
            "HueOppositeTurnsTheChromaRound", {64, 64, 64, 128}, {100, 168, 88}, {100, 88, 168}},
        ColourCase{"HueQuarterTurn", {64, 64, 64, 96}, {100, 168, 128}, {100, 128, 168}}),
    [](const ::testing::TestParamInfo<ColourCase>& case_info) { return case_info.param.name; });

TEST(ColourSettingsTest, ValuesOutside0To128AreInvalid) {
  EXPECT_TRUE((ColourSettings{0, 128, 64, 1}).Valid());
  EXPECT_FALSE((ColourSettings{-1, 64, 64, 64}).Valid());
  EXPECT_FALSE((ColourSettings{64, 129, 64, 64}).Valid());
  EXPECT_TRUE(ColourSettings{}.Neutral());
  EXPECT_FALSE((ColourSettings{64, 64, 64, 65}).Neutral());
}

}  // namespace
}  // namespace qxmedia_test
