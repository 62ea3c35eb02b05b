// Bad input to the media-source exports.
#include "tests/misuse/misuse_table.h"

namespace qxtest {
namespace {

using enum State;

constexpr uint8_t kBlock[4] = {1, 2, 3, 4};

TEST_F(MisuseMatrix, MediaSources) {
  const std::vector<Row> rows = {
      {"OpenFile, null out", kFresh, [](In in) { return Ovra_OpenFile(nullptr, in.text); },
       OVRA_PARAM_ERROR},
      {"OpenFile, null name", kFresh, [](In in) { return Ovra_OpenFile(&in.out->number, nullptr); },
       OVRA_PARAM_ERROR},
      {"OpenFile, null out and name, no free port", kLocalPoolFull,
       [](In) { return Ovra_OpenFile(nullptr, nullptr); }, OVRA_PARAM_ERROR},
      {"OpenFile, name of any length", kFresh,
       [](In in) { return Ovra_OpenFile(&in.out->number, in.text); }, OVRA_OK, "player_open_file",
       kPreparedPort, Writes::kLocalPort, kPrepared, Texts::kNames, 1},
      {"CloseFile", kFresh, [](In in) { return Ovra_CloseFile(in.n); }, OVRA_PARAM_ERROR, "",
       kBadPorts},
      {"CloseFile, free port still in file mode", kClosedFile,
       [](In in) { return Ovra_CloseFile(in.n); }, OVRA_PARAM_ERROR},

      {"OpenStream, null out", kFresh,
       [](In) { return Ovra_OpenStream(nullptr, kBlock, 4, 4096, OVRA_MEDIA_PLAYER); },
       OVRA_PARAM_ERROR},
      {"OpenStream, null out, media type 2, no free port", kLocalPoolFull,
       [](In) { return Ovra_OpenStream(nullptr, nullptr, 0, 4096, 2); }, OVRA_PARAM_ERROR},
      {"OpenStream, media type 2, no free port", kLocalPoolFull,
       [](In in) { return Ovra_OpenStream(&in.out->number, nullptr, 0, 4096, 2); },
       OVRA_NO_UNUSED_PORT},
      {"OpenStream, null initial block to the player library", kFresh,
       [](In in) { return Ovra_OpenStream(&in.out->number, nullptr, 0, 4096, 0); }, OVRA_OK,
       "player_open_stream", kPreparedPort, Writes::kLocalPort, kPrepared},
      {"OpenStream, null initial block to the 3GPP play library", kFresh,
       [](In in) { return Ovra_OpenStream(&in.out->number, nullptr, 0, 4096, 1); }, OVRA_OK,
       "gpp_open_stream", kPreparedPort, Writes::kLocalPort, kPrepared},
      {"OpenStream, media type 2", kFresh,
       [](In in) { return Ovra_OpenStream(&in.out->number, kBlock, 4, 4096, 2); }, OVRA_PARAM_ERROR,
       "", kPreparedPort, Writes::kLocalPort, kPrepared},
      {"OpenStream, media type -1", kFresh,
       [](In in) { return Ovra_OpenStream(&in.out->number, kBlock, 4, 4096, -1); },
       OVRA_PARAM_ERROR, "", kPreparedPort, Writes::kLocalPort, kPrepared},
      {"CloseStream", kFresh, [](In in) { return Ovra_CloseStream(in.n); }, OVRA_PARAM_ERROR, "",
       kBadPorts},
      {"CloseStream, file without a media type", kFilePort,
       [](In in) { return Ovra_CloseStream(in.n); }, OVRA_PARAM_ERROR},
      {"CloseStream, stream without a media type", kUntypedStream,
       [](In in) { return Ovra_CloseStream(in.n); }, OVRA_PARAM_ERROR},
      {"CloseStream, free port of media type 1", kClosed3gppRecording,
       [](In in) { return Ovra_CloseStream(in.n); }, OVRA_PARAM_ERROR},

      {"InputData", kFresh, [](In in) { return Ovra_InputData(in.n, kBlock, 4); }, OVRA_PARAM_ERROR,
       "", kBadPorts},
      {"InputData, file without a media type", kFilePort,
       [](In in) { return Ovra_InputData(in.n, kBlock, 4); }, OVRA_PARAM_ERROR},
      {"InputData, free port recording through the converter", kClosed3gppRecording,
       [](In in) { return Ovra_InputData(in.n, kBlock, 4); }, OVRA_PARAM_ERROR},
      {"InputData, null block to the player library", kPlayerStream,
       [](In in) { return Ovra_InputData(in.n, nullptr, 0); }, OVRA_OK, "player_input_data"},
      {"InputData, null block to the 3GPP play library", k3gppStream,
       [](In in) { return Ovra_InputData(in.n, nullptr, 0); }, OVRA_OK, "gpp_input_data"},
  };
  RunTable(rows);
}

}  // namespace
}  // namespace qxtest
