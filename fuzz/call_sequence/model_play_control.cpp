#include "fuzz/call_sequence/model.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "fuzz/call_sequence/model_rules.h"

namespace qxfuzz {

using C = Convention;

namespace {

// Faster or slower steps for the integer part of a speed (or of its
// inverse): half of it, except that 4 steps become 3 and 8 become 4.
int SpeedSteps(int whole) {
  const int steps = whole / 2;
  return steps == 4 ? 3 : steps == 8 ? 4 : steps;
}

// The player library's position (a fraction) in hundredths, truncated toward
// zero, held to the 32-bit range; not a number reads as 0.
int32_t Hundredths(float position) {
  const double value = std::trunc(static_cast<double>(position) * 100.0);
  if (std::isnan(value)) {
    return 0;
  }
  return static_cast<int32_t>(std::clamp(value, double{std::numeric_limits<int32_t>::min()},
                                         double{std::numeric_limits<int32_t>::max()}));
}
}  // namespace

// --- Play control ----------------------------------------------------------

int32_t Model::Play(int32_t port, Expectation& e) {
  if (IsRemote(port)) {
    // The slot state is not consulted: a free slot's zero record plays as a
    // by-name slot.
    SlotModel& slot = slots[port];
    if (slot.kind == 0) {
      slot.playback = static_cast<int32_t>(e.Call("net_playback_by_name", C::kNonzero));
      if (slot.playback == 0) {
        return OVRA_NETSDK_ERROR;
      }
      e.Call("net_playback_control", C::kNonzero);  // not judged
      return OVRA_OK;
    }
    if (!slot.start_parses || !slot.end_parses) {
      return OVRA_PARAM_ERROR;
    }
    slot.playback = static_cast<int32_t>(e.Call("net_playback_by_time", C::kNonzero));
    return slot.playback != 0 ? OVRA_OK : OVRA_PARAM_ERROR;
  }
  if (!IsLocal(port)) {
    return OVRA_PARAM_ERROR;
  }
  // The slot state is not tested.
  SlotModel& slot = slots[port];
  if (slot.ServingMedia() == 1) {
    return GppResult(e.Call("gpp_play", C::kZero, port));
  }
  e.Call("player_set_draw_callback", C::kExactlyOne, port);  // not judged
  slot.draw_registered = true;
  slot.speed_steps = 0;
  return PlayerResult(e.Call("player_play", C::kExactlyOne, port));
}

int32_t Model::Stop(int32_t port, Expectation& e) {
  if (!IsTable(port) || !slots[port].taken) {
    return OVRA_PARAM_ERROR;
  }
  SlotModel& slot = slots[port];
  slot.decode_function = 0;
  slot.decode_sequence = 0;
  if (IsRemote(port)) {
    return e.Call("net_stop_playback", C::kNonzero) != 0 ? OVRA_OK : OVRA_NETSDK_ERROR;
  }
  if (slot.ServingMedia() == 1) {
    return GppResult(e.Call("gpp_stop", C::kZero, port));
  }
  slot.speed_steps = 0;
  return PlayerResult(e.Call("player_stop", C::kExactlyOne, port));
}

int32_t Model::CheckedPlayerCall(int32_t port, const char* op, Expectation& e) {
  if (TakenLocal(port) == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  return PlayerResult(e.Call(op, C::kExactlyOne, port));
}

int32_t Model::StopSound(int32_t port, Expectation& e) {
  if (TakenLocal(port) == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  return PlayerResult(e.Call("player_stop_sound", C::kExactlyOne));  // takes no port
}

int32_t Model::GetPlayPos(int32_t port, bool out_valid, float player_position, Expectation& e) {
  if (!out_valid || TakenLocal(port) == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  e.Call("player_get_position", C::kExactlyOne, port);  // answers the scripted position
  e.outs.position = Hundredths(player_position);
  return OVRA_OK;
}

int32_t Model::SetPlaySpeed(int32_t port, float speed, Expectation& e) {
  SlotModel* slot = TakenLocal(port);
  if (slot == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  if (!(speed <= 16.0F && speed >= 0.0625F)) {
    return OVRA_PARAM_OVER;
  }
  if (speed == 1.0F) {
    e.Call("player_play", C::kExactlyOne, port);
    slot->speed_steps = 0;
  } else {
    // Only the steps between those issued and the speed's own are issued;
    // their answers are not examined.
    const int target = speed > 1.0F
                           ? SpeedSteps(static_cast<int>(speed))
                           : -SpeedSteps(static_cast<int>(1.0 / static_cast<double>(speed)));
    for (int i = slot->speed_steps; i < target; ++i) {
      e.Call("player_faster", C::kExactlyOne, port);
    }
    for (int i = slot->speed_steps; i > target; --i) {
      e.Call("player_slower", C::kExactlyOne, port);
    }
    slot->speed_steps = target;
  }
  slot->speed = speed;
  return OVRA_OK;
}

int32_t Model::GetPlaySpeed(int32_t port, bool out_valid, Expectation& e) {
  if (!out_valid || !IsLocal(port)) {
    return OVRA_PARAM_ERROR;
  }
  e.outs.speed = slots[port].speed;  // a free port answers too
  return OVRA_OK;
}

int32_t Model::StepFrame(int32_t port, const char* op, Expectation& e) {
  if (!IsLocal(port)) {
    return OVRA_PARAM_ERROR;
  }
  if (slots[port].source != 2) {
    return OVRA_NEED_FILE_MODE;  // tested before the slot state
  }
  return CheckedPlayerCall(port, op, e);
}

int32_t Model::SetCurrentFrameNum(int32_t port, Expectation& e) {
  if (TakenLocal(port) == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  if (slots[port].source != 2) {
    return OVRA_NEED_FILE_MODE;
  }
  return PlayerResult(e.Call("player_set_current_frame", C::kExactlyOne, port));
}

int32_t Model::GetFrames(int32_t port, bool out_valid, const char* op, Expectation& e) {
  if (!out_valid || TakenLocal(port) == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  if (slots[port].source != 2) {
    return OVRA_NEED_FILE_MODE;
  }
  e.outs.count = static_cast<uint32_t>(e.Call(op, C::kCount, port));
  return OVRA_OK;
}

// --- Picture, colour and sound ---------------------------------------------

int32_t Model::CapPic(int32_t port, bool name_valid, Expectation& e) {
  if (TakenLocal(port) == nullptr || !name_valid) {
    return OVRA_PARAM_ERROR;
  }
  return PlayerResult(e.Call("player_capture_picture", C::kExactlyOne, port));
}

int32_t Model::SetColor(int32_t port, Expectation& e) {
  SlotModel* slot = TakenLocal(port);
  if (slot == nullptr || (slot->ServingMedia() != 0 && slot->ServingMedia() != 1)) {
    return OVRA_PARAM_ERROR;
  }
  return slot->ServingMedia() == 0 ? PlayerResult(e.Call("player_set_colour", C::kExactlyOne, port))
                                   : GppResult(e.Call("gpp_set_colour", C::kZero, port));
}

int32_t Model::GetColor(int32_t port, Expectation& e) {
  SlotModel* slot = TakenLocal(port);
  if (slot == nullptr || (slot->ServingMedia() != 0 && slot->ServingMedia() != 1)) {
    return OVRA_PARAM_ERROR;  // nothing is written
  }
  // The backend writes the four values through the pointers whatever it then
  // returns.
  const int32_t result = slot->ServingMedia() == 0
                             ? PlayerResult(e.Call("player_get_colour", C::kExactlyOne, port))
                             : GppResult(e.Call("gpp_get_colour", C::kZero, port));
  e.outs.colour = kFakeColourValues;
  return result;
}

int32_t Model::GetVolume(int32_t port, bool out_valid, Expectation& e) {
  if (TakenLocal(port) == nullptr || !out_valid) {
    return OVRA_PARAM_ERROR;
  }
  e.outs.count = static_cast<uint16_t>(e.Call("player_get_volume", C::kVolume, port));
  return OVRA_OK;
}

}  // namespace qxfuzz
