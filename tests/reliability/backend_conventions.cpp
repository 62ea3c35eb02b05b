// Which answers of a backend operation are refusals, and which result code
// the export that made the call turns a refusal into.
#include <map>
#include <set>
#include <string>

#include "qxplaysdk.h"
#include "tests/reliability/scenario.h"

namespace qxrel {
namespace {

// A few values that differ from every success value, without claiming any
// of them means something.
const std::vector<int64_t> kAnyValue{0, 2, -1};

const Convention kPlayerExactlyOne{{0, 2, -1}, OVRA_PLAYSDK_ERROR};
const Convention kPlayerNonzero{{0}, OVRA_PLAYSDK_ERROR};
const Convention kZeroIsSuccess{{1, -1}, OVRA_3GPPSDK_ERROR};
const Convention kNetNonzero{{0}, OVRA_NETSDK_ERROR};
const Convention kNetExactlyOne{{0, 2}, OVRA_NETSDK_ERROR};
const Convention kUnexamined{kAnyValue, std::nullopt};

const std::map<std::string, Convention, std::less<>>& ByOperation() {
  static const std::map<std::string, Convention, std::less<>> table{
      {"player_open_file", kPlayerExactlyOne},
      {"player_close_file", kPlayerExactlyOne},
      {"player_open_stream", kPlayerExactlyOne},
      {"player_close_stream", kPlayerExactlyOne},
      {"player_input_data", kPlayerExactlyOne},
      {"player_play", kPlayerExactlyOne},
      {"player_stop", kPlayerExactlyOne},
      {"player_pause", kPlayerExactlyOne},
      {"player_faster", kUnexamined},
      {"player_slower", kUnexamined},
      {"player_step_forward", kPlayerExactlyOne},
      {"player_step_back", kPlayerExactlyOne},
      {"player_set_position", kPlayerExactlyOne},
      {"player_get_position", kUnexamined},
      {"player_get_total_frames", kUnexamined},
      {"player_get_played_frames", kUnexamined},
      {"player_set_current_frame", kPlayerExactlyOne},
      {"player_capture_picture", kPlayerExactlyOne},
      {"player_set_colour", kPlayerExactlyOne},
      {"player_get_colour", kPlayerExactlyOne},
      {"player_play_sound", kPlayerExactlyOne},
      {"player_stop_sound", kPlayerExactlyOne},
      {"player_set_volume", kPlayerExactlyOne},
      {"player_get_volume", kUnexamined},
      {"player_set_draw_callback", kUnexamined},
      {"player_set_file_end_callback", kPlayerExactlyOne},
      {"player_set_decode_callback", kPlayerNonzero},
      {"player_select_decode_stream", kPlayerExactlyOne},
      {"player_start_record", kPlayerExactlyOne},
      {"player_stop_record", kPlayerExactlyOne},
      {"gpp_open_stream", kZeroIsSuccess},
      {"gpp_close_stream", kZeroIsSuccess},
      {"gpp_input_data", kZeroIsSuccess},
      {"gpp_play", kZeroIsSuccess},
      {"gpp_stop", kZeroIsSuccess},
      {"gpp_set_colour", kZeroIsSuccess},
      {"gpp_get_colour", kZeroIsSuccess},
      {"conv_start", kZeroIsSuccess},
      {"conv_input_data", kUnexamined},
      {"conv_switch_file", kZeroIsSuccess},
      {"conv_stop", kZeroIsSuccess},
      {"net_init", kUnexamined},
      {"net_cleanup", kNetExactlyOne},
      {"net_login", {{0, -1}, OVRA_NETSDK_ERROR}},  // a handle above 0 is a login
      {"net_logout", kUnexamined},
      {"net_playback_by_name", kNetNonzero},
      {"net_playback_by_time", kNetNonzero},
      {"net_playback_control", kUnexamined},
      {"net_stop_playback", kNetNonzero},
      {"net_download_by_name", kNetNonzero},
      {"net_download_by_time", kNetNonzero},
      {"net_stop_download", kNetExactlyOne},
      {"net_get_download_pos", kUnexamined},
  };
  return table;
}

bool IsVoiceExport(std::string_view exported) {
  static const std::set<std::string, std::less<>> voice{"Ovra_InitAudio", "Ovra_SetAudioInCallback",
                                                        "Ovra_InputAudioData", "Ovra_CloseAudio"};
  return voice.contains(exported);
}

}  // namespace

Convention ConventionOf(std::string_view exported, std::string_view op) {
  // The voice channel takes any nonzero answer of the player library.
  if (IsVoiceExport(exported) && op.starts_with("player_")) {
    return kPlayerNonzero;
  }
  // Speed steps and the normal-speed play are issued without judging them.
  if (exported == "Ovra_SetPlaySpeed") {
    return kUnexamined;
  }
  // The stop inside a switch may find nothing to stop; the start decides.
  if (exported == "Ovra_RecordSwitchFile" && op == "player_stop_record") {
    return kUnexamined;
  }
  // A refused playback by time is reported as a parameter error.
  if (exported == "Ovra_Play" && op == "net_playback_by_time") {
    return {{0}, OVRA_PARAM_ERROR};
  }
  return ByOperation().at(std::string(op));
}

}  // namespace qxrel
