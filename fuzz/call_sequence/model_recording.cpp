#include "fuzz/call_sequence/model.h"

#include <string>

#include "fuzz/call_sequence/caller_functions.h"
#include "fuzz/call_sequence/model_rules.h"

namespace qxfuzz {

using C = Convention;

namespace {

constexpr std::size_t kKeptRecordName = 259;

}  // namespace

// The record-file-ready function gets the name in the entry; the second one
// starts a new recording from inside the announcement.
void Model::Announce(int32_t port, Expectation& e) {
  const SlotModel& slot = slots[port];
  if (slot.record_function != 0) {
    e.events.push_back(
        {Event::kRecordFile, slot.record_function, port, {slot.record_user}, slot.record_name});
  }
  if (slot.record_function == 2) {
    Nested(port, RecordStart(port, kNestedRecordName, 0, e), e);
  }
}
// --- Recording -------------------------------------------------------------

int32_t Model::RecordStart(int32_t port, const char* name, int32_t type, Expectation& e) {
  SlotModel* slot = name == nullptr ? nullptr : TakenLocal(port);
  if (slot == nullptr || (type != 0 && type != 1)) {
    return OVRA_PARAM_ERROR;
  }
  if (type == 0 && e.Call("player_start_record", port) != 1) {
    return OVRA_PLAYSDK_ERROR;
  }
  if (type == 1) {
    if (slot->source != 1) {
      return OVRA_NEED_STREAM_MODE;
    }
    if (slot->media == 0) {
      return OVRA_MEDIA_TYPE_NOT_RIGHT;  // the player library's stream stays there
    }
    if (e.Call("conv_start", port) != 0) {
      return OVRA_3GPPSDK_ERROR;
    }
  }
  slot->recording = 1;
  slot->media = type;
  slot->record_name = std::string(name).substr(0, kKeptRecordName);
  return OVRA_OK;
}

int32_t Model::RecordStop(int32_t port, Expectation& e) {
  SlotModel* slot = TakenLocal(port);
  if (slot == nullptr || slot->recording != 1) {
    return OVRA_PARAM_ERROR;
  }
  if (slot->media == 0) {
    if (e.Call("player_stop_record", port) != 1) {
      return OVRA_PLAYSDK_ERROR;
    }
  } else if (slot->media == 1) {
    if (slot->source != 1) {
      return OVRA_NEED_STREAM_MODE;
    }
    if (e.Call("conv_stop", port) != 0) {
      return OVRA_3GPPSDK_ERROR;
    }
  } else {
    return OVRA_PARAM_ERROR;
  }
  slot->recording = 0;
  Announce(port, e);
  return OVRA_OK;
}

int32_t Model::RecordSwitchFile(int32_t port, const char* name, Expectation& e) {
  SlotModel* slot = name == nullptr ? nullptr : TakenLocal(port);
  if (slot == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  if (slot->media == 0) {
    // The stop does not decide the switch, but a file it finished is
    // announced even when the next one cannot be started.
    const bool finished = e.Call("player_stop_record", port) == 1;
    if (e.Call("player_start_record", port) != 1) {
      if (finished) {
        slot->recording = 0;
        Announce(port, e);
      }
      return OVRA_PLAYSDK_ERROR;
    }
  } else if (slot->media == 1) {
    if (slot->source != 1) {
      return OVRA_NEED_STREAM_MODE;
    }
    if (e.Call("conv_switch_file", port) != 0) {
      return OVRA_3GPPSDK_ERROR;
    }
  } else {
    return OVRA_PARAM_ERROR;
  }
  Announce(port, e);  // still the finished file's name
  slot->record_name = std::string(name).substr(0, kKeptRecordName);
  return OVRA_OK;
}

int32_t Model::SetRecordFileReadyCallback(int32_t port, FunctionId function, uintptr_t user) {
  SlotModel* slot = TakenLocal(port);
  if (slot == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  slot->record_function = function;
  slot->record_user = user;
  return OVRA_OK;
}

}  // namespace qxfuzz
