// Bad input to the voice-talk exports, with the channel closed (the port
// and null checks come before the channel's state) and open.
#include "tests/misuse/misuse_table.h"

namespace qxtest {
namespace {

using enum State;

void OVRA_CALLBACK IgnoreVoice(int32_t, const uint8_t*, int32_t, uintptr_t) {}

constexpr uint8_t kAudio[4] = {1, 2, 3, 4};

TEST_F(MisuseMatrix, Voice) {
  const auto set_callback = [](In in) { return Ovra_SetAudioInCallback(in.n, IgnoreVoice, 7); };
  const auto input = [](In in) { return Ovra_InputAudioData(in.n, kAudio, 4); };
  const auto close = [](In in) { return Ovra_CloseAudio(in.n); };
  const auto null_callback = [](In) {
    return Ovra_SetAudioInCallback(OVRA_VOICE_PORT, nullptr, 7);
  };
  const auto null_audio = [](In) { return Ovra_InputAudioData(OVRA_VOICE_PORT, nullptr, 4); };
  const std::vector<Row> rows = {
      {"InitAudio, null out", kFresh, [](In) { return Ovra_InitAudio(nullptr); }, OVRA_PARAM_ERROR},
      {"InitAudio, null out, channel open", kVoiceOpen, [](In) { return Ovra_InitAudio(nullptr); },
       OVRA_PARAM_ERROR},
      {"SetAudioInCallback", kFresh, set_callback, OVRA_PARAM_ERROR, "", kNonVoice},
      {"SetAudioInCallback, channel open", kVoiceOpen, set_callback, OVRA_PARAM_ERROR, "",
       kNonVoice},
      {"SetAudioInCallback, null function", kFresh, null_callback, OVRA_PARAM_ERROR},
      {"SetAudioInCallback, null function, channel open", kVoiceOpen, null_callback,
       OVRA_PARAM_ERROR},
      {"InputAudioData", kFresh, input, OVRA_PARAM_ERROR, "", kNonVoice},
      {"InputAudioData, channel open", kVoiceOpen, input, OVRA_PARAM_ERROR, "", kNonVoice},
      {"InputAudioData, null audio", kFresh, null_audio, OVRA_AUDIO_NOT_INITIALISED},
      {"InputAudioData, null audio, channel open", kVoiceOpen, null_audio, OVRA_PARAM_ERROR},
      {"CloseAudio", kFresh, close, OVRA_PARAM_ERROR, "", kNonVoice},
      {"CloseAudio, channel open", kVoiceOpen, close, OVRA_PARAM_ERROR, "", kNonVoice},
  };
  RunTable(rows);
}

}  // namespace
}  // namespace qxtest
