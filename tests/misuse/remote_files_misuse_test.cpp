// Bad input to the remote-slot exports, and remote playback of the time
// strings a slot keeps.
#include "tests/misuse/misuse_table.h"

namespace qxtest {
namespace {

using enum State;

constexpr const char* kStart = "2011-05-06 08-30-00";
constexpr const char* kEnd = "2011-05-06 09-30-00";

// A slot opened by time with the given texts, then played: the texts are
// read only now.
int32_t PlayByTime(In in, const char* start, const char* end) {
  EXPECT_EQ(Ovra_DVR_OpenFileByTime(1, &in.out->number, 0, start, end), OVRA_OK);
  return Ovra_Play(in.out->number, nullptr);
}

TEST_F(MisuseMatrix, RemoteFiles) {
  const std::vector<Row> rows = {
      {"DVR_OpenFileByName, null out", kFresh,
       [](In) { return Ovra_DVR_OpenFileByName(1, nullptr, "f.mp4"); }, OVRA_PARAM_ERROR},
      {"DVR_OpenFileByName, null name", kFresh,
       [](In in) { return Ovra_DVR_OpenFileByName(1, &in.out->number, nullptr); },
       OVRA_PARAM_ERROR},
      {"DVR_OpenFileByName, null name, no free slot", kRemotePoolFull,
       [](In in) { return Ovra_DVR_OpenFileByName(1, &in.out->number, nullptr); },
       OVRA_PARAM_ERROR},
      {"DVR_OpenFileByName, login below one", kFresh,
       [](In in) { return Ovra_DVR_OpenFileByName(in.n, &in.out->number, "f.mp4"); }, OVRA_OK, "",
       kBelowOne, Writes::kRemoteSlot, 0},
      {"DVR_OpenFileByName, name of any length", kFresh,
       [](In in) { return Ovra_DVR_OpenFileByName(1, &in.out->number, in.text); }, OVRA_OK, "",
       kPreparedPort, Writes::kRemoteSlot, 0, Texts::kNames},

      {"DVR_OpenFileByTime, null out", kFresh,
       [](In) { return Ovra_DVR_OpenFileByTime(1, nullptr, 0, kStart, kEnd); }, OVRA_PARAM_ERROR},
      {"DVR_OpenFileByTime, null start", kFresh,
       [](In in) { return Ovra_DVR_OpenFileByTime(1, &in.out->number, 0, nullptr, kEnd); },
       OVRA_PARAM_ERROR},
      {"DVR_OpenFileByTime, null end", kFresh,
       [](In in) { return Ovra_DVR_OpenFileByTime(1, &in.out->number, 0, kStart, nullptr); },
       OVRA_PARAM_ERROR},
      {"DVR_OpenFileByTime, null end, no free slot", kRemotePoolFull,
       [](In in) { return Ovra_DVR_OpenFileByTime(1, &in.out->number, 0, kStart, nullptr); },
       OVRA_PARAM_ERROR},
      {"Play by time, readable start", kFresh, [](In in) { return PlayByTime(in, in.text, kEnd); },
       OVRA_OK, "net_playback_by_time", kPreparedPort, Writes::kRemoteSlot, 0,
       Texts::kReadableTimes},
      {"Play by time, readable end", kFresh, [](In in) { return PlayByTime(in, kStart, in.text); },
       OVRA_OK, "net_playback_by_time", kPreparedPort, Writes::kRemoteSlot, 0,
       Texts::kReadableTimes},
      {"Play by time, unreadable start", kFresh,
       [](In in) { return PlayByTime(in, in.text, kEnd); }, OVRA_PARAM_ERROR, "", kPreparedPort,
       Writes::kRemoteSlot, 0, Texts::kUnreadableTimes},
      {"Play by time, unreadable end", kFresh,
       [](In in) { return PlayByTime(in, kStart, in.text); }, OVRA_PARAM_ERROR, "", kPreparedPort,
       Writes::kRemoteSlot, 0, Texts::kUnreadableTimes},

      {"DVR_CloseFile", kFresh, [](In in) { return Ovra_DVR_CloseFile(in.n); },
       OVRA_RECYCLE_PORT_ERROR, "", kBadPorts},
  };
  RunTable(rows);
}

// The one export without a result code: codes outside 0..-12 have no text.
TEST_F(MisuseMatrix, ResultTexts) {
  for (const int32_t code : {1, -13, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(Ovra_GetErrorMessage(code), nullptr) << code;
  }
  EXPECT_TRUE(fake::Calls().empty());
  ExpectWholePortTable();
}

}  // namespace
}  // namespace qxtest
