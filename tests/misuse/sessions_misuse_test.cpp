// Bad input to the recorder-session and download exports.
#include "tests/misuse/misuse_table.h"

namespace qxtest {
namespace {

using enum State;

constexpr const char* kStart = "2011-05-06 08-30-00";
constexpr const char* kEnd = "2011-05-06 09-30-00";

TEST_F(MisuseMatrix, RecorderSessionsAndDownloads) {
  const std::vector<Row> rows = {
      {"DVR_Login, null out", kFresh,
       [](In) { return Ovra_DVR_Login(nullptr, "host", 80, "user", "pass"); }, OVRA_PARAM_ERROR},
      {"DVR_Login, null address", kFresh,
       [](In in) { return Ovra_DVR_Login(&in.out->number, nullptr, 80, "user", "pass"); },
       OVRA_PARAM_ERROR},
      {"DVR_Login, null user name and password", kFresh,
       [](In in) { return Ovra_DVR_Login(&in.out->number, "host", 80, nullptr, nullptr); }, OVRA_OK,
       "net_init net_login", kPreparedPort, Writes::kNumber, 1},
      {"DVR_Login, address of any length", kFresh,
       [](In in) { return Ovra_DVR_Login(&in.out->number, in.text, 80, "user", "pass"); }, OVRA_OK,
       "net_init net_login", kPreparedPort, Writes::kNumber, 1, Texts::kNames, 0},
      {"DVR_Login, user name and password of any length", kFresh,
       [](In in) { return Ovra_DVR_Login(&in.out->number, "host", 80, in.text, in.text); }, OVRA_OK,
       "net_init net_login", kPreparedPort, Writes::kNumber, 1, Texts::kNames, 3},
      {"DVR_Logout", kFresh, [](In in) { return Ovra_DVR_Logout(in.n); }, OVRA_NETSDK_ERROR, "",
       kBelowOne},

      {"DVR_GetFileByName, null out", kFresh,
       [](In) { return Ovra_DVR_GetFileByName(1, nullptr, "f.mp4", "target"); }, OVRA_PARAM_ERROR},
      {"DVR_GetFileByName, null name", kFresh,
       [](In in) { return Ovra_DVR_GetFileByName(1, &in.out->number, nullptr, "target"); },
       OVRA_PARAM_ERROR},
      {"DVR_GetFileByName, null target", kFresh,
       [](In in) { return Ovra_DVR_GetFileByName(1, &in.out->number, "f.mp4", nullptr); },
       OVRA_PARAM_ERROR},
      {"DVR_GetFileByName, login below one", kFresh,
       [](In in) { return Ovra_DVR_GetFileByName(in.n, &in.out->number, "f.mp4", "target"); },
       OVRA_PARAM_ERROR, "", kBelowOne},
      {"DVR_GetFileByName, name of any length", kFresh,
       [](In in) { return Ovra_DVR_GetFileByName(1, &in.out->number, in.text, "target"); }, OVRA_OK,
       "net_download_by_name", kPreparedPort, Writes::kNumber, 1, Texts::kNames, 1},
      {"DVR_GetFileByName, target of any length", kFresh,
       [](In in) { return Ovra_DVR_GetFileByName(1, &in.out->number, "f.mp4", in.text); }, OVRA_OK,
       "net_download_by_name", kPreparedPort, Writes::kNumber, 1, Texts::kNames, 2},

      {"DVR_GetFileByTime, null out", kFresh,
       [](In) { return Ovra_DVR_GetFileByTime(1, nullptr, 0, kStart, kEnd, "t"); },
       OVRA_PARAM_ERROR},
      {"DVR_GetFileByTime, null start", kFresh,
       [](In in) { return Ovra_DVR_GetFileByTime(1, &in.out->number, 0, nullptr, kEnd, "t"); },
       OVRA_PARAM_ERROR},
      {"DVR_GetFileByTime, null end, unreadable start", kFresh,
       [](In in) { return Ovra_DVR_GetFileByTime(1, &in.out->number, 0, in.text, nullptr, "t"); },
       OVRA_PARAM_ERROR, "", kPreparedPort, Writes::kNothing, 0, Texts::kUnreadableTimes},
      {"DVR_GetFileByTime, login below one, unreadable start", kFresh,
       [](In in) { return Ovra_DVR_GetFileByTime(in.n, &in.out->number, 0, in.text, kEnd, "t"); },
       OVRA_PARAM_ERROR, "", kBelowOne, Writes::kNothing, 0, Texts::kUnreadableTimes},
      {"DVR_GetFileByTime, null target", kFresh,
       [](In in) { return Ovra_DVR_GetFileByTime(1, &in.out->number, 0, kStart, kEnd, nullptr); },
       OVRA_OK, "net_download_by_time", kPreparedPort, Writes::kNumber, 1},
      {"DVR_GetFileByTime, readable start", kFresh,
       [](In in) { return Ovra_DVR_GetFileByTime(1, &in.out->number, 0, in.text, kEnd, "t"); },
       OVRA_OK, "net_download_by_time", kPreparedPort, Writes::kNumber, 1, Texts::kReadableTimes},
      {"DVR_GetFileByTime, readable end", kFresh,
       [](In in) { return Ovra_DVR_GetFileByTime(1, &in.out->number, 0, kStart, in.text, "t"); },
       OVRA_OK, "net_download_by_time", kPreparedPort, Writes::kNumber, 1, Texts::kReadableTimes},
      {"DVR_GetFileByTime, unreadable start", kFresh,
       [](In in) { return Ovra_DVR_GetFileByTime(1, &in.out->number, 0, in.text, kEnd, "t"); },
       OVRA_PARSE_TIME_ERROR, "", kPreparedPort, Writes::kNothing, 0, Texts::kUnreadableTimes},
      {"DVR_GetFileByTime, unreadable end", kFresh,
       [](In in) { return Ovra_DVR_GetFileByTime(1, &in.out->number, 0, kStart, in.text, "t"); },
       OVRA_PARSE_TIME_ERROR, "", kPreparedPort, Writes::kNothing, 0, Texts::kUnreadableTimes},

      {"DVR_GetDownloadPos, null out", kFresh,
       [](In) { return Ovra_DVR_GetDownloadPos(1, nullptr); }, OVRA_PARAM_ERROR},
      {"DVR_GetDownloadPos, handle below one", kFresh,
       [](In in) { return Ovra_DVR_GetDownloadPos(in.n, &in.out->number); }, OVRA_OK,
       "net_get_download_pos", kBelowOne, Writes::kNumber, 0},
      {"DVR_StopGetFile, handle below one", kFresh,
       [](In in) { return Ovra_DVR_StopGetFile(in.n); }, OVRA_OK, "net_stop_download", kBelowOne},
  };
  RunTable(rows);
}

}  // namespace
}  // namespace qxtest
