// Bad input to the play-control exports.
#include <limits>

#include "tests/misuse/misuse_table.h"

namespace qxtest {
namespace {

using enum State;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

Row SpeedRow(const char* name, float speed) {
  return {name, kFilePort, [speed](In in) { return Ovra_SetPlaySpeed(in.n, speed); },
          OVRA_PARAM_OVER};
}

TEST_F(MisuseMatrix, PlayControl) {
  std::vector<Row> rows = {
      {"Play, outside the table", kFresh, [](In in) { return Ovra_Play(in.n, nullptr); },
       OVRA_PARAM_ERROR, "", kOutsideTable},
      {"Play, free remote slot", kFresh, [](In in) { return Ovra_Play(in.n, nullptr); }, OVRA_OK,
       "net_playback_by_name net_playback_control", kFreeRemote},
      {"Play, free local port", kFresh, [](In in) { return Ovra_Play(in.n, nullptr); }, OVRA_OK,
       "player_set_draw_callback player_play", kFreeLocal},
      {"Play, free port of media type 1", kClosed3gppRecording,
       [](In in) { return Ovra_Play(in.n, nullptr); }, OVRA_OK, "gpp_play"},
      {"Stop", kFresh, [](In in) { return Ovra_Stop(in.n); }, OVRA_PARAM_ERROR, "", kBadPorts},
      {"Stop, free port of media type 1", kClosed3gppRecording,
       [](In in) { return Ovra_Stop(in.n); }, OVRA_PARAM_ERROR},

      {"Pause", kFresh, [](In in) { return Ovra_Pause(in.n, 1); }, OVRA_PARAM_ERROR, "", kBadPorts},
      {"SetPlayPos", kFresh, [](In in) { return Ovra_SetPlayPos(in.n, 50); }, OVRA_PARAM_ERROR, "",
       kBadPorts},
      {"GetPlayPos", kFresh, [](In in) { return Ovra_GetPlayPos(in.n, &in.out->number); },
       OVRA_PARAM_ERROR, "", kBadPorts},
      {"GetPlayPos, null out", kFilePort, [](In in) { return Ovra_GetPlayPos(in.n, nullptr); },
       OVRA_PARAM_ERROR},

      {"SetPlaySpeed, speed not a number", kFresh,
       [](In in) { return Ovra_SetPlaySpeed(in.n, kNaN); }, OVRA_PARAM_ERROR, "", kBadPorts},
      SpeedRow("SetPlaySpeed, not a number", kNaN),
      SpeedRow("SetPlaySpeed, infinity", kInfinity),
      SpeedRow("SetPlaySpeed, minus infinity", -kInfinity),
      SpeedRow("SetPlaySpeed, 0.0624", 0.0624F),
      SpeedRow("SetPlaySpeed, 16.01", 16.01F),
      {"GetPlaySpeed, not a local port", kFresh,
       [](In in) { return Ovra_GetPlaySpeed(in.n, &in.out->speed); }, OVRA_PARAM_ERROR, "",
       kNonLocal},
      {"GetPlaySpeed, free port", kFresh,
       [](In in) { return Ovra_GetPlaySpeed(in.n, &in.out->speed); }, OVRA_OK, "", kFreeLocal,
       Writes::kSpeed, 4.0},
      {"GetPlaySpeed, null out", kFilePort, [](In in) { return Ovra_GetPlaySpeed(in.n, nullptr); },
       OVRA_PARAM_ERROR},
  };
  // The step exports look at the file mode before the slot state, the frame
  // number exports after it.
  using StepExport = int32_t(OVRA_CALL*)(int32_t);
  for (const auto& [name, step] : {std::pair<const char*, StepExport>{"NextFrame", Ovra_NextFrame},
                                   {"PreviousFrame", Ovra_PreviousFrame}}) {
    const auto call = [step = step](In in) { return step(in.n); };
    rows.push_back({name, kFresh, call, OVRA_PARAM_ERROR, "", kNonLocal});
    rows.push_back({name, kFresh, call, OVRA_NEED_FILE_MODE, "", kFreeLocal});
    rows.push_back({name, kClosedFile, call, OVRA_PARAM_ERROR});
    rows.push_back({name, kPlayerStream, call, OVRA_NEED_FILE_MODE});
  }
  const auto jump = [](In in) { return Ovra_SetCurrentFrameNum(in.n, 5); };
  rows.push_back({"SetCurrentFrameNum", kFresh, jump, OVRA_PARAM_ERROR, "", kBadPorts});
  rows.push_back({"SetCurrentFrameNum", kClosedFile, jump, OVRA_PARAM_ERROR});
  rows.push_back({"SetCurrentFrameNum", kPlayerStream, jump, OVRA_NEED_FILE_MODE});
  using CountExport = int32_t(OVRA_CALL*)(int32_t, uint32_t*);
  for (const auto& [name, count] :
       {std::pair<const char*, CountExport>{"GetFileTotalFrames", Ovra_GetFileTotalFrames},
        {"GetPlayedFrames", Ovra_GetPlayedFrames}}) {
    const auto call = [count = count](In in) { return count(in.n, &in.out->count); };
    rows.push_back({name, kFresh, call, OVRA_PARAM_ERROR, "", kBadPorts});
    rows.push_back({name, kClosedFile, call, OVRA_PARAM_ERROR});
    rows.push_back({name, kPlayerStream, call, OVRA_NEED_FILE_MODE});
    rows.push_back({name, kPlayerStream, [count = count](In in) { return count(in.n, nullptr); },
                    OVRA_PARAM_ERROR});
  }
  RunTable(rows);
}

}  // namespace
}  // namespace qxtest
