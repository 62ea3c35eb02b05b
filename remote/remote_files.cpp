// Opening and closing remote slots: each describes one recording on a
// recorder, by file name or by channel and time span, for Ovra_Play.
#include "core/kept_text.h"
#include "core/port_table.h"
#include "qxplaysdk.h"
#include "remote/remote_slots.h"

using namespace qx;

namespace {

// Takes the lowest free remote slot, hands its number to the caller and
// gives it an all-zero record, or returns null when no slot is free. The
// record is filled outside the table lock: no other open can take the slot
// now.
RemoteSlotRecord* TakeClearedSlot(int32_t* slot) {
  int32_t taken = 0;
  if (TakeRemoteSlot(&taken) != 0) {
    return nullptr;
  }
  *slot = taken;
  ClearRemoteSlot(taken);
  return &RemoteSlot(taken);
}

}  // namespace

extern "C" {

OVRA_API int32_t OVRA_CALL Ovra_DVR_OpenFileByName(int32_t login, int32_t* slot,
                                                   const char* file_name) {
  // A null out is refused before a slot is taken, so no slot is lost to a
  // caller that could never close it.
  if (slot == nullptr || file_name == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  RemoteSlotRecord* record = TakeClearedSlot(slot);
  if (record == nullptr) {
    return OVRA_NO_UNUSED_PORT;
  }
  record->kind = kRemoteByName;
  record->login = login;
  CopyKeptText(record->file_name, sizeof(record->file_name), file_name);
  return OVRA_OK;
}

OVRA_API int32_t OVRA_CALL Ovra_DVR_OpenFileByTime(int32_t login, int32_t* slot, int32_t channel,
                                                   const char* start, const char* end) {
  if (slot == nullptr || start == nullptr || end == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  RemoteSlotRecord* record = TakeClearedSlot(slot);
  if (record == nullptr) {
    return OVRA_NO_UNUSED_PORT;
  }
  // The texts are kept as given and read only when the slot is played.
  record->kind = kRemoteByTime;
  record->login = login;
  record->channel = channel;
  CopyKeptText(record->start, sizeof(record->start), start);
  CopyKeptText(record->end, sizeof(record->end), end);
  return OVRA_OK;
}

OVRA_API int32_t OVRA_CALL Ovra_DVR_CloseFile(int32_t slot) {
  if (!IsRemoteSlot(slot)) {
    return OVRA_RECYCLE_PORT_ERROR;
  }
  // The record is cleared while the slot is still taken, so that an open on
  // another thread that takes the freed slot never has its record cleared.
  SectionGuard guard(&TableLock());
  if (GetSlotState(slot) != kSlotTaken) {
    return OVRA_RECYCLE_PORT_ERROR;
  }
  ClearRemoteSlot(slot);
  ReleaseRemoteSlot(slot);
  return OVRA_OK;
}

}  // extern "C"
