// Bad input to the snapshot, colour and sound exports.
#include "tests/misuse/misuse_table.h"

namespace qxtest {
namespace {

using enum State;

int32_t GetColourInto(In in) {
  int32_t* c = in.out->colour;
  return Ovra_GetColor(in.n, &c[0], &c[1], &c[2], &c[3]);
}

TEST_F(MisuseMatrix, PictureColourSound) {
  const auto set_colour = [](In in) { return Ovra_SetColor(in.n, 1, 2, 3, 4); };
  const auto get_nulls = [](In in) {
    return Ovra_GetColor(in.n, nullptr, nullptr, nullptr, nullptr);
  };
  const std::vector<Row> rows = {
      {"CapPic", kFresh, [](In in) { return Ovra_CapPic(in.n, "pic.bmp"); }, OVRA_PARAM_ERROR, "",
       kBadPorts},
      {"CapPic, null name", kFilePort, [](In in) { return Ovra_CapPic(in.n, nullptr); },
       OVRA_PARAM_ERROR},
      {"CapPic, name of any length", kFilePort, [](In in) { return Ovra_CapPic(in.n, in.text); },
       OVRA_OK, "player_capture_picture", kPreparedPort, Writes::kNothing, 0, Texts::kNames, 1},

      {"SetColor", kFresh, set_colour, OVRA_PARAM_ERROR, "", kBadPorts},
      {"SetColor, file port: the player library", kFilePort, set_colour, OVRA_OK,
       "player_set_colour"},
      {"SetColor, stream without a media type", kUntypedStream, set_colour, OVRA_PARAM_ERROR},
      {"SetColor, free port of media type 1", kClosed3gppRecording, set_colour, OVRA_PARAM_ERROR},
      {"GetColor", kFresh, GetColourInto, OVRA_PARAM_ERROR, "", kBadPorts},
      {"GetColor, file port: the player library", kFilePort, get_nulls, OVRA_OK,
       "player_get_colour"},
      {"GetColor, free port of media type 1", kClosed3gppRecording, GetColourInto,
       OVRA_PARAM_ERROR},
      {"GetColor, null outs to the player library", kPlayerStream, get_nulls, OVRA_OK,
       "player_get_colour"},
      {"GetColor, null outs to the 3GPP play library", k3gppStream, get_nulls, OVRA_OK,
       "gpp_get_colour"},

      {"PlaySound", kFresh, [](In in) { return Ovra_PlaySound(in.n); }, OVRA_PARAM_ERROR, "",
       kBadPorts},
      {"StopSound", kFresh, [](In in) { return Ovra_StopSound(in.n); }, OVRA_PARAM_ERROR, "",
       kBadPorts},
      {"SetVolume", kFresh, [](In in) { return Ovra_SetVolume(in.n, 100); }, OVRA_PARAM_ERROR, "",
       kBadPorts},
      {"GetVolume", kFresh, [](In in) { return Ovra_GetVolume(in.n, &in.out->count); },
       OVRA_PARAM_ERROR, "", kBadPorts},
      {"GetVolume, null out", kFilePort, [](In in) { return Ovra_GetVolume(in.n, nullptr); },
       OVRA_PARAM_ERROR},
  };
  RunTable(rows);
}

}  // namespace
}  // namespace qxtest
