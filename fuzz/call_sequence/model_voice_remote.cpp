#include "fuzz/call_sequence/model.h"

#include "fuzz/call_sequence/model_rules.h"

namespace qxfuzz {

using C = Convention;

// --- Voice talk ------------------------------------------------------------

int32_t Model::InitAudio(bool out_valid, Expectation& e) {
  if (!out_valid) {
    return OVRA_PARAM_ERROR;
  }
  e.outs.port = kVoice;
  for (const char* op : {"player_open_stream", "player_play_sound", "player_play"}) {
    if (e.Call(op, C::kNonzero, kVoice) == 0) {
      return OVRA_PLAYSDK_ERROR;
    }
  }
  voice_open = true;
  return OVRA_OK;
}

int32_t Model::SetAudioInCallback(int32_t port, FunctionId function, uintptr_t user,
                                  Expectation& e) {
  if (port != kVoice || function == 0) {
    return OVRA_PARAM_ERROR;
  }
  if (!voice_open) {
    return OVRA_AUDIO_NOT_INITIALISED;
  }
  audio_function = function;
  capture_registered = true;
  capture_user = user;
  return e.Call("player_open_audio_capture") != 0 ? OVRA_OK : OVRA_PLAYSDK_ERROR;
}

int32_t Model::InputAudioData(int32_t port, bool data_valid, Expectation& e) {
  if (port != kVoice) {
    return OVRA_PARAM_ERROR;
  }
  if (!voice_open) {
    return OVRA_AUDIO_NOT_INITIALISED;
  }
  if (!data_valid) {
    return OVRA_PARAM_ERROR;
  }
  return e.Call("player_input_audio", kVoice) != 0 ? OVRA_OK : OVRA_PLAYSDK_ERROR;
}

int32_t Model::CloseAudio(int32_t port, Expectation& e) {
  if (port != kVoice) {
    return OVRA_PARAM_ERROR;
  }
  if (!voice_open) {
    return OVRA_AUDIO_NOT_INITIALISED;
  }
  if (e.Call("player_stop", C::kNonzero, kVoice) == 0 ||
      e.Call("player_close_stream", C::kNonzero, kVoice) == 0 ||
      e.Call("player_close_audio_capture") == 0) {
    return OVRA_PLAYSDK_ERROR;
  }
  voice_open = false;
  return OVRA_OK;
}

// --- Remote slots ----------------------------------------------------------

int32_t Model::OpenFileByName(bool out_valid, bool name_valid, Expectation& e) {
  if (!out_valid || !name_valid) {
    return OVRA_PARAM_ERROR;
  }
  const int32_t slot = TakeLowest(0, kLastRemote);
  if (slot < 0) {
    return OVRA_NO_UNUSED_PORT;
  }
  e.outs.port = slot;
  slots[slot].kind = 0;
  slots[slot].playback = 0;
  return OVRA_OK;
}

int32_t Model::OpenFileByTime(bool out_valid, const char* start, bool start_parses, const char* end,
                              bool end_parses, Expectation& e) {
  if (!out_valid || start == nullptr || end == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  const int32_t slot = TakeLowest(0, kLastRemote);
  if (slot < 0) {
    return OVRA_NO_UNUSED_PORT;
  }
  e.outs.port = slot;
  slots[slot].kind = 1;
  slots[slot].start_parses = start_parses;
  slots[slot].end_parses = end_parses;
  slots[slot].playback = 0;
  return OVRA_OK;
}

int32_t Model::CloseRemoteFile(int32_t slot) {
  if (!IsRemote(slot) || !slots[slot].taken) {
    return OVRA_RECYCLE_PORT_ERROR;
  }
  SlotModel& model = slots[slot];
  model.taken = false;
  model.kind = 0;
  model.start_parses = model.end_parses = false;
  model.playback = 0;
  return OVRA_OK;
}

}  // namespace qxfuzz
