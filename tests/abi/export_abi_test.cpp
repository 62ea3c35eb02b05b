// Every export is __cdecl: called as a 32-bit caller calls it, it leaves
// its arguments on the stack for the caller and keeps the callee-saved
// registers, whatever path it takes through the backends (whose operations
// are __stdcall). One row per export: its name and how its argument words
// are made.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "tests/abi/dll_test.h"

namespace abicheck {
namespace {

// What one argument word of a row is made from.
enum class Source {
  kValue,     // the row's number
  kOpenPort,  // a local port with a player stream open on it
  kOut,       // a fresh zeroed 32-bit out-value
  kText,      // a file name or other text
  kTime,      // a time string
  kBuffer,    // 64 bytes of data
};

struct Arg {
  Source source;
  uint32_t value;
};

constexpr Arg Value(uint32_t value) { return {Source::kValue, value}; }
constexpr Arg kPort{Source::kOpenPort, 0};
constexpr Arg kOut{Source::kOut, 0};
constexpr Arg kText{Source::kText, 0};
constexpr Arg kTime{Source::kTime, 0};
constexpr Arg kBuffer{Source::kBuffer, 0};
constexpr Arg kNull = Value(0);
constexpr uint32_t kVoicePort = 99;
constexpr uint32_t kLogin = 1;

struct ExportRow {
  const char* name;
  std::vector<Arg> args;
};

const ExportRow kExportRows[] = {
    {"Ovra_GetErrorMessage", {Value(static_cast<uint32_t>(-2))}},
    {"Ovra_OpenFile", {kOut, kText}},
    {"Ovra_CloseFile", {kPort}},
    {"Ovra_OpenStream", {kOut, kBuffer, Value(64), Value(4096), Value(1)}},
    {"Ovra_CloseStream", {kPort}},
    {"Ovra_InputData", {kPort, kBuffer, Value(64)}},
    {"Ovra_RegisterDrawFun", {kPort, kNull, Value(7)}},
    {"Ovra_SetFileEndCallback", {kPort, kNull, Value(7)}},
    {"Ovra_SetDecodeCallback", {kPort, kNull, Value(7)}},
    {"Ovra_Play", {kPort, Value(0x1000)}},
    {"Ovra_Stop", {kPort}},
    {"Ovra_Pause", {kPort, Value(1)}},
    {"Ovra_SetPlayPos", {kPort, Value(50)}},
    {"Ovra_GetPlayPos", {kPort, kOut}},
    {"Ovra_SetPlaySpeed", {kPort, Value(Word(2.0F))}},
    {"Ovra_GetPlaySpeed", {kPort, kOut}},
    {"Ovra_NextFrame", {kPort}},
    {"Ovra_PreviousFrame", {kPort}},
    {"Ovra_GetFileTotalFrames", {kPort, kOut}},
    {"Ovra_GetPlayedFrames", {kPort, kOut}},
    {"Ovra_SetCurrentFrameNum", {kPort, Value(10)}},
    {"Ovra_CapPic", {kPort, kText}},
    {"Ovra_SetColor", {kPort, Value(1), Value(2), Value(3), Value(4)}},
    {"Ovra_GetColor", {kPort, kOut, kOut, kOut, kOut}},
    {"Ovra_PlaySound", {kPort}},
    {"Ovra_StopSound", {kPort}},
    {"Ovra_SetVolume", {kPort, Value(65536 + 80)}},
    {"Ovra_GetVolume", {kPort, kOut}},
    {"Ovra_RecordStart", {kPort, kText, Value(0)}},
    {"Ovra_RecordStop", {kPort}},
    {"Ovra_RecordSwitchFile", {kPort, kText}},
    {"Ovra_SetRecordFileReadyCallback", {kPort, kNull, Value(7)}},
    {"Ovra_InitAudio", {kOut}},
    {"Ovra_SetAudioInCallback", {Value(kVoicePort), kNull, Value(7)}},
    {"Ovra_InputAudioData", {Value(kVoicePort), kBuffer, Value(64)}},
    {"Ovra_CloseAudio", {Value(kVoicePort)}},
    {"Ovra_DVR_Login", {kOut, kText, Value(65536 + 80), kText, kText}},
    {"Ovra_DVR_Logout", {Value(kLogin)}},
    {"Ovra_DVR_GetFileByName", {Value(kLogin), kOut, kText, kText}},
    {"Ovra_DVR_GetFileByTime", {Value(kLogin), kOut, Value(2), kTime, kTime, kText}},
    {"Ovra_DVR_GetDownloadPos", {Value(1), kOut}},
    {"Ovra_DVR_StopGetFile", {Value(1)}},
    {"Ovra_DVR_OpenFileByName", {Value(kLogin), kOut, kText}},
    {"Ovra_DVR_OpenFileByTime", {Value(kLogin), kOut, Value(2), kTime, kTime}},
    {"Ovra_DVR_CloseFile", {Value(0)}},
};

class ExportAbiTest : public DllTest, public ::testing::WithParamInterface<ExportRow> {
 protected:
  // The row's argument words; out-values, texts and data live in the
  // fixture for the duration of the call.
  std::vector<uint32_t> MakeWords(const ExportRow& row) {
    std::vector<uint32_t> words;
    std::size_t next_out = 0;
    for (const Arg& arg : row.args) {
      switch (arg.source) {
        case Source::kValue:
          words.push_back(arg.value);
          break;
        case Source::kOpenPort:
          words.push_back(static_cast<uint32_t>(OpenStream()));
          break;
        case Source::kOut:
          words.push_back(Word(&outs_.at(next_out++)));
          break;
        case Source::kText:
          words.push_back(Word(text_));
          break;
        case Source::kTime:
          words.push_back(Word(time_));
          break;
        case Source::kBuffer:
          words.push_back(Word(buffer_.data()));
          break;
      }
    }
    return words;
  }

 private:
  std::array<uint32_t, 8> outs_{};
  std::array<uint8_t, 64> buffer_{};
  const char* text_ = "abi-check.dat";
  const char* time_ = "2024-01-02 03-04-05";
};

TEST_P(ExportAbiTest, LeavesItsArgumentsToTheCallerAndKeepsRegisters) {
  const ExportRow& row = GetParam();
  // A __stdcall export would carry its argument size in its name.
  const std::string decorated = row.name + ("@" + std::to_string(4 * row.args.size()));
  EXPECT_EQ(Library().Find(decorated.c_str()), nullptr) << decorated << " is exported";
  QX_REQUIRE_EXPORTS(row.name);
  const std::vector<uint32_t> words = MakeWords(row);

  const CallOutcome outcome = Library().Call(row.name, words);

  EXPECT_EQ(outcome.bytes_removed, 0U) << row.name << " must be __cdecl";
  EXPECT_TRUE(outcome.registers_kept) << row.name;
  if (std::string(row.name) == "Ovra_GetErrorMessage") {
    EXPECT_STREQ(reinterpret_cast<const char*>(outcome.eax), "QXPLAYSDK PARAM ERROR");
  } else {
    EXPECT_LE(static_cast<int32_t>(outcome.eax), 0) << row.name << " returns a result code";
  }
}

TEST(ExportAbiTable, NamesEachExportOnce) {
  std::vector<std::string> names;
  for (const ExportRow& row : kExportRows) {
    names.emplace_back(row.name);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
  EXPECT_EQ(names.size(), 45U);
}

INSTANTIATE_TEST_SUITE_P(AllExports, ExportAbiTest, ::testing::ValuesIn(kExportRows),
                         [](const ::testing::TestParamInfo<ExportRow>& row_info) {
                           return std::string(row_info.param.name);
                         });

// Parameters narrower than the 32-bit word a caller pushes: only the low 16
// bits reach the backend, whatever the high half of the word holds.
TEST_F(DllTest, SetVolumeHandsOnlyTheLowSixteenBitsToThePlayer) {
  QX_REQUIRE_EXPORTS("Ovra_SetVolume");
  const int32_t port = OpenStream();

  const CallOutcome outcome =
      Library().Call("Ovra_SetVolume", {static_cast<uint32_t>(port), 65536 + 80});

  EXPECT_EQ(static_cast<int32_t>(outcome.eax), 0);
  EXPECT_EQ(outcome.bytes_removed, 0U);
  const auto calls = fake::Calls("player_set_volume");
  ASSERT_EQ(calls.size(), 1U);
  EXPECT_EQ(calls[0].Int(0), port);
  EXPECT_EQ(calls[0].Int(1), 80);
}

TEST_F(DllTest, LoginHandsOnlyTheLowSixteenBitsOfTheRecorderPort) {
  QX_REQUIRE_EXPORTS("Ovra_DVR_Login");
  int32_t login = 0;

  const CallOutcome outcome =
      Library().Call("Ovra_DVR_Login",
                     {Word(&login), Word("192.0.2.1"), 65536 + 80, Word("viewer"), Word("secret")});

  EXPECT_EQ(static_cast<int32_t>(outcome.eax), 0);
  EXPECT_EQ(outcome.bytes_removed, 0U);
  const auto calls = fake::Calls("net_login");
  ASSERT_EQ(calls.size(), 1U);
  EXPECT_EQ(calls[0].Text(0), "192.0.2.1");
  EXPECT_EQ(calls[0].Int(1), 80);
  EXPECT_EQ(calls[0].Text(2), "viewer");
}

}  // namespace
}  // namespace abicheck
