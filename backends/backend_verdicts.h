// How the library judges the backends' answers: the one place that says
// which answer of which operation counts as success. The library's exports,
// the tests and the fuzz model all read it from here.
//
//  - player library: success is exactly 1, except where the calling export
//    takes any nonzero answer (the voice channel, the decode registration);
//  - 3GPP play library and 3GP converter: success is 0;
//  - network library: per operation (a login handle above 0, a nonzero
//    playback or download handle, exactly 1 from the cleanup and the stop
//    of a download).
// Operations whose answer is a value (position, counts, volume) or whose
// answer is not examined have no rule.
#ifndef QXPLAYSDK_BACKENDS_BACKEND_VERDICTS_H
#define QXPLAYSDK_BACKENDS_BACKEND_VERDICTS_H

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace qx {

enum class SuccessRule {
  kExactlyOne,  // 1, nothing else
  kNonzero,     // any value but 0
  kZero,        // 0, nothing else
  kPositive,    // above 0
};

constexpr bool Succeeded(SuccessRule rule, int64_t answer) {
  switch (rule) {
    case SuccessRule::kExactlyOne:
      return answer == 1;
    case SuccessRule::kNonzero:
      return answer != 0;
    case SuccessRule::kZero:
      return answer == 0;
    case SuccessRule::kPositive:
      return answer > 0;
  }
  return false;
}

inline constexpr SuccessRule kPlayerRule = SuccessRule::kExactlyOne;
inline constexpr SuccessRule kPlayerAnyNonzeroRule = SuccessRule::kNonzero;
inline constexpr SuccessRule kGppRule = SuccessRule::kZero;
inline constexpr SuccessRule kConverterRule = SuccessRule::kZero;
inline constexpr SuccessRule kNetLoginRule = SuccessRule::kPositive;
inline constexpr SuccessRule kNetHandleRule = SuccessRule::kNonzero;
inline constexpr SuccessRule kNetExactlyOneRule = SuccessRule::kExactlyOne;

constexpr bool PlayerSucceeded(int32_t answer) { return Succeeded(kPlayerRule, answer); }
constexpr bool PlayerAccepted(int32_t answer) { return Succeeded(kPlayerAnyNonzeroRule, answer); }
constexpr bool GppSucceeded(int32_t answer) { return Succeeded(kGppRule, answer); }
constexpr bool ConverterSucceeded(int32_t answer) { return Succeeded(kConverterRule, answer); }
constexpr bool NetLoginSucceeded(int32_t handle) { return Succeeded(kNetLoginRule, handle); }
constexpr bool NetHandleSucceeded(int32_t handle) { return Succeeded(kNetHandleRule, handle); }
constexpr bool NetSucceeded(int32_t answer) { return Succeeded(kNetExactlyOneRule, answer); }

// The rule each operation is judged by where the library judges it
// (exports that say otherwise are named above).
struct OperationRule {
  std::string_view operation;
  SuccessRule rule;
};

inline constexpr std::array kOperationRules{
    OperationRule{"player_open_file", kPlayerRule},
    OperationRule{"player_close_file", kPlayerRule},
    OperationRule{"player_open_stream", kPlayerRule},
    OperationRule{"player_close_stream", kPlayerRule},
    OperationRule{"player_input_data", kPlayerRule},
    OperationRule{"player_play", kPlayerRule},
    OperationRule{"player_stop", kPlayerRule},
    OperationRule{"player_pause", kPlayerRule},
    OperationRule{"player_step_forward", kPlayerRule},
    OperationRule{"player_step_back", kPlayerRule},
    OperationRule{"player_set_position", kPlayerRule},
    OperationRule{"player_set_current_frame", kPlayerRule},
    OperationRule{"player_capture_picture", kPlayerRule},
    OperationRule{"player_set_colour", kPlayerRule},
    OperationRule{"player_get_colour", kPlayerRule},
    OperationRule{"player_play_sound", kPlayerRule},
    OperationRule{"player_stop_sound", kPlayerRule},
    OperationRule{"player_set_volume", kPlayerRule},
    OperationRule{"player_set_file_end_callback", kPlayerRule},
    OperationRule{"player_set_decode_callback", kPlayerAnyNonzeroRule},
    OperationRule{"player_select_decode_stream", kPlayerRule},
    OperationRule{"player_start_record", kPlayerRule},
    OperationRule{"player_stop_record", kPlayerRule},
    OperationRule{"player_open_audio_capture", kPlayerAnyNonzeroRule},
    OperationRule{"player_input_audio", kPlayerAnyNonzeroRule},
    OperationRule{"player_close_audio_capture", kPlayerAnyNonzeroRule},
    OperationRule{"gpp_open_stream", kGppRule},
    OperationRule{"gpp_close_stream", kGppRule},
    OperationRule{"gpp_input_data", kGppRule},
    OperationRule{"gpp_play", kGppRule},
    OperationRule{"gpp_stop", kGppRule},
    OperationRule{"gpp_set_colour", kGppRule},
    OperationRule{"gpp_get_colour", kGppRule},
    OperationRule{"conv_start", kConverterRule},
    OperationRule{"conv_switch_file", kConverterRule},
    OperationRule{"conv_stop", kConverterRule},
    OperationRule{"net_cleanup", kNetExactlyOneRule},
    OperationRule{"net_login", kNetLoginRule},
    OperationRule{"net_playback_by_name", kNetHandleRule},
    OperationRule{"net_playback_by_time", kNetHandleRule},
    OperationRule{"net_stop_playback", kNetHandleRule},
    OperationRule{"net_download_by_name", kNetHandleRule},
    OperationRule{"net_download_by_time", kNetHandleRule},
    OperationRule{"net_stop_download", kNetExactlyOneRule},
};

// The rule of `operation`; none for an operation whose answer is a value or
// is not examined.
constexpr std::optional<SuccessRule> RuleOf(std::string_view operation) {
  for (const OperationRule& entry : kOperationRules) {
    if (entry.operation == operation) return entry.rule;
  }
  return std::nullopt;
}

}  // namespace qx

#endif  // QXPLAYSDK_BACKENDS_BACKEND_VERDICTS_H
