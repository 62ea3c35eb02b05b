// Downloading recorded files from a recorder, by name or by time span. The
// download runs inside the network library; the caller keeps its handle.
#include <cstdint>

#include "backends/backend_verdicts.h"
#include "backends/network.h"
#include "qxplaysdk.h"
#include "remote/time_string.h"

using qx::ParseTimeString;

extern "C" {

OVRA_API int32_t OVRA_CALL Ovra_DVR_GetFileByName(int32_t login, int32_t* download,
                                                  const char* file_name, const char* target) {
  // The handle out is checked first: the network library's answer could
  // otherwise not be handed back once the download had started.
  if (download == nullptr || file_name == nullptr || target == nullptr || login < 1) {
    return OVRA_PARAM_ERROR;
  }
  const int32_t handle = net_download_by_name(login, file_name, target);
  *download = handle;
  return qx::NetHandleSucceeded(handle) ? OVRA_OK : OVRA_NETSDK_ERROR;
}

OVRA_API int32_t OVRA_CALL Ovra_DVR_GetFileByTime(int32_t login, int32_t* download, int32_t channel,
                                                  const char* start, const char* end,
                                                  const char* target) {
  // The target goes to the network library unchecked.
  if (download == nullptr || start == nullptr || end == nullptr || login < 1) {
    return OVRA_PARAM_ERROR;
  }
  NetDateTime start_time{};
  NetDateTime end_time{};
  if (!ParseTimeString(start, &start_time)) {
    return OVRA_PARSE_TIME_ERROR;
  }
  if (!ParseTimeString(end, &end_time)) {
    return OVRA_PARSE_TIME_ERROR;
  }
  const int32_t handle = net_download_by_time(login, channel, &start_time, &end_time, target);
  *download = handle;
  return qx::NetHandleSucceeded(handle) ? OVRA_OK : OVRA_NETSDK_ERROR;
}

OVRA_API int32_t OVRA_CALL Ovra_DVR_GetDownloadPos(int32_t download, int32_t* position) {
  if (position == nullptr) {
    return OVRA_PARAM_ERROR;
  }
  // Whatever the network library answers is the position; it is not judged.
  *position = net_get_download_pos(download);
  return OVRA_OK;
}

OVRA_API int32_t OVRA_CALL Ovra_DVR_StopGetFile(int32_t download) {
  return qx::NetSucceeded(net_stop_download(download)) ? OVRA_OK : OVRA_NETSDK_ERROR;
}

}  // extern "C"
