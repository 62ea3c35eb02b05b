// Playing and stopping the recording that a remote slot describes. The
// playback runs inside the network library; the slot keeps its handle.
#include "remote/remote_playback.h"

#include "backends/backend_verdicts.h"
#include "backends/network.h"
#include "qxplaysdk.h"
#include "remote/remote_slots.h"
#include "remote/time_string.h"

namespace qx {
namespace {

// The network library's command that starts a by-name playback moving.
constexpr int32_t kPlaybackStartCommand = 1;

int32_t PlayByName(RemoteSlotRecord& record, void* window) {
  record.playback = net_playback_by_name(record.login, record.file_name, window);
  if (!NetHandleSucceeded(record.playback)) {
    return OVRA_NETSDK_ERROR;
  }
  int32_t unused_answer = 0;
  net_playback_control(record.playback, kPlaybackStartCommand, 0, &unused_answer);
  return OVRA_OK;
}

int32_t PlayByTime(RemoteSlotRecord& record, void* window) {
  NetDateTime start{};
  NetDateTime end{};
  // Both texts are read before either is judged.
  const bool start_read = ParseTimeString(record.start, &start);
  const bool end_read = ParseTimeString(record.end, &end);
  if (!start_read || !end_read) {
    return OVRA_PARAM_ERROR;
  }
  record.playback = net_playback_by_time(record.login, record.channel, &start, &end, window);
  return NetHandleSucceeded(record.playback) ? OVRA_OK : OVRA_PARAM_ERROR;
}

}  // namespace

int32_t PlayRemoteSlot(int32_t slot, void* window) {
  // A free slot's zero record plays as a by-name slot with an empty name;
  // the network library answers for it.
  RemoteSlotRecord& record = RemoteSlot(slot);
  if (record.kind == kRemoteByTime) {
    return PlayByTime(record, window);
  }
  return PlayByName(record, window);
}

int32_t StopRemoteSlot(int32_t slot) {
  // The handle stays: a second stop hands the same handle on again.
  return NetHandleSucceeded(net_stop_playback(RemoteSlot(slot).playback)) ? OVRA_OK
                                                                          : OVRA_NETSDK_ERROR;
}

}  // namespace qx
