// Bad input to the recording exports.
#include "tests/misuse/misuse_table.h"

namespace qxtest {
namespace {

using enum State;

void OVRA_CALLBACK IgnoreFile(int32_t, const char*, uintptr_t) {}

TEST_F(MisuseMatrix, Recording) {
  const auto stop = [](In in) { return Ovra_RecordStop(in.n); };
  const auto switch_file = [](In in) { return Ovra_RecordSwitchFile(in.n, "next.mp4"); };
  const std::vector<Row> rows = {
      // Record type 1 on a free port without a mode: the port is judged first.
      {"RecordStart", kFresh, [](In in) { return Ovra_RecordStart(in.n, "rec.3gp", 1); },
       OVRA_PARAM_ERROR, "", kBadPorts},
      {"RecordStart, null name", kPlayerStream,
       [](In in) { return Ovra_RecordStart(in.n, nullptr, 0); }, OVRA_PARAM_ERROR},
      {"RecordStart, record type 2", kPlayerStream,
       [](In in) { return Ovra_RecordStart(in.n, "rec.mp4", 2); }, OVRA_PARAM_ERROR},
      {"RecordStart, record type -1", kPlayerStream,
       [](In in) { return Ovra_RecordStart(in.n, "rec.mp4", -1); }, OVRA_PARAM_ERROR},
      {"RecordStart, record type 1 on a file", kFilePort,
       [](In in) { return Ovra_RecordStart(in.n, "rec.3gp", 1); }, OVRA_NEED_STREAM_MODE},
      // The player library's stream is not handed to the 3GPP play library.
      {"RecordStart, record type 1 on a player library stream", kPlayerStream,
       [](In in) { return Ovra_RecordStart(in.n, "rec.3gp", 1); }, OVRA_MEDIA_TYPE_NOT_RIGHT},
      {"RecordStart, name of any length to the player library", kPlayerStream,
       [](In in) { return Ovra_RecordStart(in.n, in.text, 0); }, OVRA_OK, "player_start_record",
       kPreparedPort, Writes::kNothing, 0, Texts::kNames, 1},
      {"RecordStart, name of any length to the converter", k3gppStream,
       [](In in) { return Ovra_RecordStart(in.n, in.text, 1); }, OVRA_OK, "conv_start",
       kPreparedPort, Writes::kNothing, 0, Texts::kNames, 1},

      {"RecordStop", kFresh, stop, OVRA_PARAM_ERROR, "", kBadPorts},
      {"RecordStop, not recording", kPlayerStream, stop, OVRA_PARAM_ERROR},
      {"RecordStop, free port recording", kClosed3gppRecording, stop, OVRA_PARAM_ERROR},
      {"RecordStop, converter recording on a file", kStale3gppRecording, stop,
       OVRA_NEED_STREAM_MODE},

      {"RecordSwitchFile", kFresh, switch_file, OVRA_PARAM_ERROR, "", kBadPorts},
      {"RecordSwitchFile, null name", kPlayerStream,
       [](In in) { return Ovra_RecordSwitchFile(in.n, nullptr); }, OVRA_PARAM_ERROR},
      {"RecordSwitchFile, file without a media type", kFilePort, switch_file, OVRA_PARAM_ERROR},
      {"RecordSwitchFile, free port recording", kClosed3gppRecording, switch_file,
       OVRA_PARAM_ERROR},
      {"RecordSwitchFile, converter recording on a file", kStale3gppRecording, switch_file,
       OVRA_NEED_STREAM_MODE},
      {"RecordSwitchFile, name of any length", kPlayerStream,
       [](In in) { return Ovra_RecordSwitchFile(in.n, in.text); }, OVRA_OK,
       "player_stop_record player_start_record", kPreparedPort, Writes::kNothing, 0, Texts::kNames,
       1},

      {"SetRecordFileReadyCallback", kFresh,
       [](In in) { return Ovra_SetRecordFileReadyCallback(in.n, IgnoreFile, 7); }, OVRA_PARAM_ERROR,
       "", kBadPorts},
      {"SetRecordFileReadyCallback, null function", kFilePort,
       [](In in) { return Ovra_SetRecordFileReadyCallback(in.n, nullptr, 0); }, OVRA_OK},
  };
  RunTable(rows);
}

}  // namespace
}  // namespace qxtest
