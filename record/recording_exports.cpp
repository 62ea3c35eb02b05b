// Ovra_RecordStart, Ovra_RecordStop, Ovra_RecordSwitchFile and
// Ovra_SetRecordFileReadyCallback: recording a local port into files through
// the player library (record type 0) or the 3GP converter (record type 1).
//
// The port's media type, written by a successful start, tells stop and
// switch which backend records the port. Each per-port word is read or
// written under the table lock for that one access; no lock is held across a
// backend call or while the record-file-ready callback runs. Backends always
// get the caller's own file-name string: the library's copy may be cut short.
#include "backends/backend_verdicts.h"
#include "backends/gp3_converter.h"
#include "backends/player.h"
#include "core/log.h"
#include "core/port_table.h"
#include "qxplaysdk.h"
#include "record/record_files.h"

using namespace qx;

namespace {

// Both player library recording calls take this as their last argument.
constexpr int32_t kPlayerRecordMode = 0;

// A recording through the player library or the converter has begun on the
// port: the words that stop and switch rely on, in this order.
void MarkRecording(int32_t port, int32_t media_type, const char* file_name) {
  SetRecordingFlag(port, 1);
  SetMediaType(port, media_type);
  StoreRecordFileName(port, file_name);
}

}  // namespace

extern "C" {

OVRA_API int32_t OVRA_CALL Ovra_RecordStart(int32_t port, const char* file_name,
                                            int32_t record_type) {
  if (file_name == nullptr || CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  // A start does not look at the recording flag: starting again restarts the
  // backend with the new file and the earlier one is not announced.
  if (record_type == kMediaPlayer) {
    if (!PlayerSucceeded(player_start_record(port, file_name, kPlayerRecordMode))) {
      return OVRA_PLAYSDK_ERROR;
    }
  } else if (record_type == kMedia3gpp) {
    // The converter is fed from Ovra_InputData, so only a stream port has
    // anything to give it.
    if (GetSourceMode(port) != kSourceStream) {
      return OVRA_NEED_STREAM_MODE;
    }
    // A stream the player library decodes cannot be handed to the 3GPP play
    // library halfway: turning its media type to 1 would send every later
    // block, stop and close to a library that never opened it.
    if (GetMediaType(port) == kMediaPlayer) {
      qx::log::Warning("record", port,
                       "record type 1 refused: the port's stream belongs to the player library");
      return OVRA_MEDIA_TYPE_NOT_RIGHT;
    }
    if (!ConverterSucceeded(conv_start(port, file_name))) {
      return OVRA_3GPPSDK_ERROR;
    }
  } else {
    return OVRA_PARAM_ERROR;
  }
  MarkRecording(port, record_type, file_name);
  return OVRA_OK;
}

OVRA_API int32_t OVRA_CALL Ovra_RecordStop(int32_t port) {
  if (CheckLocalPort(port) != 0 || GetRecordingFlag(port) != 1) {
    return OVRA_PARAM_ERROR;
  }
  switch (GetMediaType(port)) {
    case kMediaPlayer:
      if (!PlayerSucceeded(player_stop_record(port))) {
        return OVRA_PLAYSDK_ERROR;
      }
      break;
    case kMedia3gpp:
      if (GetSourceMode(port) != kSourceStream) {
        return OVRA_NEED_STREAM_MODE;
      }
      if (!ConverterSucceeded(conv_stop(port))) {
        return OVRA_3GPPSDK_ERROR;
      }
      break;
    default:
      return OVRA_PARAM_ERROR;
  }
  // Cleared before the announcement, so that the callback may start a new
  // recording on the port. The finished file's name stays in the entry.
  SetRecordingFlag(port, 0);
  AnnounceRecordFile(port);
  return OVRA_OK;
}

OVRA_API int32_t OVRA_CALL Ovra_RecordSwitchFile(int32_t port, const char* new_file_name) {
  if (new_file_name == nullptr || CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  // The recording flag is neither read nor changed: a switch on a port that
  // does not record starts a recording into the new file all the same.
  switch (GetMediaType(port)) {
    case kMediaPlayer: {
      // The player library has no switch of its own. Whether the stop
      // succeeds does not decide the switch (there may be nothing to stop);
      // the start does.
      const bool finished = PlayerSucceeded(player_stop_record(port));
      if (!PlayerSucceeded(player_start_record(port, new_file_name, kPlayerRecordMode))) {
        qx::log::Error("record", port, "cannot switch the recording to \"{}\"", new_file_name);
        if (finished) {
          // The old file is complete and nothing records any more: the
          // recording has ended as by a stop, and its file is announced.
          SetRecordingFlag(port, 0);
          AnnounceRecordFile(port);
        }
        return OVRA_PLAYSDK_ERROR;
      }
      break;
    }
    case kMedia3gpp:
      if (GetSourceMode(port) != kSourceStream) {
        return OVRA_NEED_STREAM_MODE;
      }
      if (!ConverterSucceeded(conv_switch_file(port, new_file_name))) {
        return OVRA_3GPPSDK_ERROR;
      }
      break;
    default:
      return OVRA_PARAM_ERROR;
  }
  // The entry still names the file just finished while it is announced.
  AnnounceRecordFile(port);
  StoreRecordFileName(port, new_file_name);
  return OVRA_OK;
}

OVRA_API int32_t OVRA_CALL Ovra_SetRecordFileReadyCallback(int32_t port,
                                                           OvraRecordFileReadyCallback callback,
                                                           uintptr_t user) {
  if (CheckLocalPort(port) != 0) {
    return OVRA_PARAM_ERROR;
  }
  StoreRecordFileReadyCallback(port, callback, user);
  return OVRA_OK;
}

}  // extern "C"
