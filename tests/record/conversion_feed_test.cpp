// The blocks fed to a port that the 3GP converter records.
#include <gtest/gtest.h>

#include "core/port_table.h"
#include "tests/record/recording_fixture.h"

namespace {

using ConversionFeed = qxtest::RecordingTest;

const char kBlock[] = "block";

TEST_F(ConversionFeed, ConverterRecordingFeedsEveryBlockAfterThePlayLibrary) {
  const int32_t port = OpenStreamPort(1);
  ASSERT_EQ(Ovra_RecordStart(port, "A", 1), 0);
  EXPECT_EQ(qx::GetMediaType(port), 1);
  EXPECT_EQ(fake::Calls("conv_start").at(0).Text(1), "A");

  EXPECT_EQ(Ovra_InputData(port, kBlock, 5), 0);
  EXPECT_EQ(fake::CallCount("player_input_data"), 0U);
  const std::vector<std::string> expected_tail = {"gpp_input_data", "conv_input_data"};
  const std::vector<std::string> names = fake::CallNames();
  ASSERT_GE(names.size(), 2U);
  EXPECT_EQ(std::vector<std::string>(names.end() - 2, names.end()), expected_tail);
  const fake::Call fed = fake::Calls("conv_input_data").at(0);
  EXPECT_EQ(fed.Int(0), port);
  EXPECT_EQ(fed.Ptr(1), kBlock);
  EXPECT_EQ(fed.Int(2), 5);
}

TEST_F(ConversionFeed, TheConverterGetsTheBlockWhateverThePlayLibrarySays) {
  struct Case {
    int64_t gpp_answer;
    int64_t conv_answer;
    int32_t expected;
  };
  const Case cases[] = {{0, 0, 0}, {0, 3, 0}, {1, 0, -5}, {-1, -1, -5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.gpp_answer) + "/" + std::to_string(c.conv_answer));
    qxtest::ResetLibrary();
    const int32_t port = OpenStreamPort(1);
    ASSERT_EQ(Ovra_RecordStart(port, "A", 1), 0);
    fake::SetResult("gpp_input_data", c.gpp_answer);
    fake::SetResult("conv_input_data", c.conv_answer);
    EXPECT_EQ(Ovra_InputData(port, kBlock, 3), c.expected);
    EXPECT_EQ(fake::CallCount("conv_input_data"), 1U);
  }
}

TEST_F(ConversionFeed, OnlyARunningConverterRecordingIsFed) {
  const int32_t gpp_port = OpenStreamPort(1);
  EXPECT_EQ(Ovra_InputData(gpp_port, kBlock, 3), 0) << "not recording yet";
  ASSERT_EQ(Ovra_RecordStart(gpp_port, "A", 1), 0);
  ASSERT_EQ(Ovra_RecordStop(gpp_port), 0);
  EXPECT_EQ(Ovra_InputData(gpp_port, kBlock, 3), 0) << "stopped";

  const int32_t player_port = OpenStreamPort(0);
  ASSERT_EQ(Ovra_RecordStart(player_port, "B", 0), 0);
  EXPECT_EQ(Ovra_InputData(player_port, kBlock, 3), 0) << "the player records by itself";

  EXPECT_EQ(fake::CallCount("gpp_input_data"), 2U);
  EXPECT_EQ(fake::CallCount("player_input_data"), 1U);
  EXPECT_EQ(fake::CallCount("conv_input_data"), 0U);
}

}  // namespace
