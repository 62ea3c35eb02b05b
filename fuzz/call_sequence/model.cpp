#include "fuzz/call_sequence/model.h"

#include <algorithm>

#include "fuzz/call_sequence/model_rules.h"

namespace qxfuzz {

using C = Convention;

namespace {

constexpr uint32_t kFrameAudioBytes = 4096;
constexpr uint32_t kFrameHeaderBytes = 8;

}  // namespace

SlotModel* Model::TakenLocal(int32_t port) {
  return IsLocal(port) && slots[port].taken ? &slots[port] : nullptr;
}

int32_t Model::TakeLowest(int32_t first, int32_t last) {
  for (int32_t port = first; port <= last; ++port) {
    if (!slots[port].taken) {
      slots[port].taken = true;
      return port;
    }
  }
  return -1;
}

void Model::Nested(int32_t port, int32_t result, Expectation& e) const {
  e.events.push_back({Event::kNestedResult, 2, port, {static_cast<uint64_t>(int64_t{result})}, {}});
}

// --- Media sources ---------------------------------------------------------

int32_t Model::OpenFile(bool out_valid, const char* name, Expectation& e) {
  if (!out_valid || name == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  const int32_t port = TakeLowest(kFirstLocal, kLastLocal);
  if (port < 0) {
    return OVRA_NO_UNUSED_PORT;
  }
  e.outs.port = port;
  slots[port].speed_steps = 0;
  if (e.Call("player_open_file", C::kExactlyOne, port) != 1) {
    return OVRA_PLAYSDK_ERROR;
  }
  slots[port].source = 2;
  return OVRA_OK;
}

int32_t Model::CloseFile(int32_t port, Expectation& e) {
  SlotModel* slot = TakenLocal(port);
  if (slot == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  const int64_t answer = e.Call("player_close_file", C::kExactlyOne, port);
  if (answer == 1) {
    slot->source = 0;
  } else if (slot->source == 1 && slot->media == 0) {
    // A stream closed as a file: its backend gives up the number too (the
    // answer is not examined).
    e.Call("player_close_stream", C::kExactlyOne, port);
  } else if (slot->source == 1 && slot->media == 1) {
    e.Call("gpp_close_stream", C::kZero, port);
  }
  slot->taken = false;
  return PlayerResult(answer);
}

int32_t Model::OpenStream(bool out_valid, int32_t media_type, Expectation& e) {
  if (!out_valid) {
    return OVRA_PARAM_ERROR;
  }
  const int32_t port = TakeLowest(kFirstLocal, kLastLocal);
  if (port < 0) {
    return OVRA_NO_UNUSED_PORT;
  }
  e.outs.port = port;
  SlotModel& slot = slots[port];
  slot.speed_steps = 0;
  bool accepted = false;
  int32_t refusal = OVRA_PARAM_ERROR;
  if (media_type == 0) {
    accepted = e.Call("player_open_stream", C::kExactlyOne, port) == 1;
    refusal = OVRA_PLAYSDK_ERROR;
  } else if (media_type == 1) {
    accepted = e.Call("gpp_open_stream", C::kZero, port) == 0;
    refusal = OVRA_3GPPSDK_ERROR;
  } else {
    return OVRA_PARAM_ERROR;
  }
  slot.media = media_type;
  if (!accepted) {
    return refusal;
  }
  slot.source = 1;
  return OVRA_OK;
}

int32_t Model::CloseStream(int32_t port, Expectation& e) {
  SlotModel* slot = TakenLocal(port);
  if (slot == nullptr || (slot->media != 0 && slot->media != 1)) {
    return OVRA_PARAM_ERROR;
  }
  const int32_t result = slot->media == 0
                             ? PlayerResult(e.Call("player_close_stream", C::kExactlyOne, port))
                             : GppResult(e.Call("gpp_close_stream", C::kZero, port));
  if (result != OVRA_OK && slot->source == 2) {
    // A file closed as a stream: the player library gives up the file too.
    e.Call("player_close_file", C::kExactlyOne, port);
  }
  slot->source = 0;
  slot->taken = false;
  return result;
}

int32_t Model::InputData(int32_t port, Expectation& e) {
  SlotModel* slot = TakenLocal(port);
  if (slot == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  if (slot->media == 0) {
    return PlayerResult(e.Call("player_input_data", C::kExactlyOne, port));
  }
  if (slot->media != 1) {
    return OVRA_PARAM_ERROR;
  }
  const int32_t result = GppResult(e.Call("gpp_input_data", C::kZero, port));
  if (slot->recording == 1) {
    e.Call("conv_input_data", C::kZero, port);  // the conversion feed, not judged
  }
  return result;
}

// --- Caller callbacks ------------------------------------------------------

int32_t Model::RegisterDrawFun(int32_t port, FunctionId function, Expectation& e) {
  SlotModel* slot = TakenLocal(port);
  if (slot == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  draw_function = function;
  e.Call("player_set_draw_callback", C::kExactlyOne, port);  // not judged
  slot->draw_registered = true;
  return OVRA_OK;
}

int32_t Model::SetFileEndCallback(int32_t port, FunctionId function, Expectation& e) {
  if (!IsLocal(port)) {
    return OVRA_PARAM_ERROR;
  }
  SlotModel& slot = slots[port];
  if (slot.source != 2) {
    return OVRA_NEED_FILE_MODE;  // tested before the slot state
  }
  if (!slot.taken) {
    return OVRA_PARAM_ERROR;
  }
  file_end_function = function;
  slot.file_end_registered = true;
  return PlayerResult(e.Call("player_set_file_end_callback", C::kExactlyOne, port));
}

int32_t Model::SetDecodeCallback(int32_t port, FunctionId function, uintptr_t user,
                                 Expectation& e) {
  SlotModel* slot = TakenLocal(port);
  if (slot == nullptr || function == 0) {
    return OVRA_PARAM_ERROR;
  }
  slot->decode_function = function;
  slot->decode_registered = true;
  slot->decode_user = user;
  if (e.Call("player_set_decode_callback", C::kNonzero, port) == 0) {
    slot->decode_function = 0;
    return OVRA_PLAYSDK_ERROR;
  }
  return PlayerResult(e.Call("player_select_decode_stream", C::kExactlyOne, port));
}
// --- Notifications ---------------------------------------------------------

bool Model::Draw(int32_t port, uintptr_t value2, uintptr_t value3, Expectation& e) const {
  if (!IsTable(port) || !slots[port].draw_registered) {
    return false;
  }
  if (draw_function != 0) {
    e.events.push_back({Event::kDraw, draw_function, port, {value2, value3}, {}});
  }
  return true;
}

bool Model::FileEnd(int32_t port, uintptr_t value2, Expectation& e) const {
  if (!IsTable(port) || !slots[port].file_end_registered) {
    return false;
  }
  if (file_end_function != 0) {
    e.events.push_back({Event::kFileEnd, file_end_function, port, {value2}, {}});
  }
  return true;
}

bool Model::Decode(int32_t port, const FrameValues& f, Expectation& e) {
  if (!IsTable(port) || !slots[port].decode_registered) {
    return false;
  }
  DeliverFrame(port, f, slots[port].decode_user, e);
  return true;
}

bool Model::StrayDecode(int32_t registered_port, int32_t port, const FrameValues& f, uintptr_t user,
                        Expectation& e) {
  if (!slots[registered_port].decode_registered) {
    return false;
  }
  if (IsTable(port)) {
    DeliverFrame(port, f, user, e);  // a number outside the table is ignored
  }
  return true;
}

void Model::DeliverFrame(int32_t port, const FrameValues& f, uintptr_t user, Expectation& e) {
  SlotModel& slot = slots[port];
  if (slot.decode_function == 0) {
    return;  // not counted
  }
  e.events.push_back({Event::kDecode,
                      slot.decode_function,
                      port,
                      {1, f.info_c, f.info_e, slot.decode_sequence++, f.info_a, f.info_b, f.value2,
                       f.value3, user},
                      {}});
  if (slot.decode_function == 2) {
    Nested(port, Stop(port, e), e);  // the second decode function stops its port
  }
}

bool Model::Capture(uint32_t length, bool has_data, Expectation& e) const {
  if (!capture_registered) {
    return false;
  }
  if (audio_function == 0) {
    return true;
  }
  // A long block arrives as consecutive frames of at most 4096 audio bytes;
  // an empty block, or one without data, as the header alone.
  uint32_t remaining = has_data ? length : 0;
  do {
    const uint32_t chunk = std::min(remaining, kFrameAudioBytes);
    e.events.push_back({Event::kAudioFrame,
                        audio_function,
                        kVoice,
                        {chunk + kFrameHeaderBytes, capture_user, 1},
                        {}});
    remaining -= chunk;
  } while (remaining > 0);
  return true;
}

}  // namespace qxfuzz
