// The network library `qxnetsdk_sub`: recorder logins, remote playback and
// downloads. How each result is judged is the calling export's business. The
// number in brackets is the ordinal in qxnetsdk_sub.dll.
#ifndef QXPLAYSDK_BACKENDS_NETWORK_H
#define QXPLAYSDK_BACKENDS_NETWORK_H

#include <stdint.h>

#include "backend_api.h"

#ifdef __cplusplus
extern "C" {
#endif

// A point in time as the network library takes it: six 32-bit signed
// numbers, 24 bytes, no padding. Values are whatever the time text gave.
typedef struct NetDateTime {
  int32_t year;
  int32_t month;
  int32_t day;
  int32_t hour;
  int32_t minute;
  int32_t second;
} NetDateTime;

// Size of the buffer that net_login may fill with login information.
#define NET_LOGIN_INFO_SIZE 54

QX_BACKEND_API int32_t QX_BACKEND_CALL net_init(void);     // [1]
QX_BACKEND_API int32_t QX_BACKEND_CALL net_cleanup(void);  // [2]
QX_BACKEND_API int32_t QX_BACKEND_CALL net_login(const char* address, uint16_t recorder_port,
                                                 const char* user_name, const char* password,
                                                 void* login_info);  // [11]
QX_BACKEND_API int32_t QX_BACKEND_CALL net_logout(int32_t login);    // [12]
QX_BACKEND_API int32_t QX_BACKEND_CALL net_playback_by_name(int32_t login, const char* file_name,
                                                            void* window);  // [54]
QX_BACKEND_API int32_t QX_BACKEND_CALL net_playback_by_time(int32_t login, int32_t channel,
                                                            const NetDateTime* start,
                                                            const NetDateTime* end,
                                                            void* window);  // [55]
QX_BACKEND_API int32_t QX_BACKEND_CALL net_playback_control(int32_t playback, int32_t command,
                                                            int32_t value,
                                                            int32_t* out_value);  // [56]
QX_BACKEND_API int32_t QX_BACKEND_CALL net_stop_playback(int32_t playback);       // [57]
QX_BACKEND_API int32_t QX_BACKEND_CALL net_download_by_name(int32_t login, const char* file_name,
                                                            const char* target);  // [63]
QX_BACKEND_API int32_t QX_BACKEND_CALL net_download_by_time(int32_t login, int32_t channel,
                                                            const NetDateTime* start,
                                                            const NetDateTime* end,
                                                            const char* target);  // [64]
QX_BACKEND_API int32_t QX_BACKEND_CALL net_stop_download(int32_t download);       // [65]
QX_BACKEND_API int32_t QX_BACKEND_CALL net_get_download_pos(int32_t download);    // [66]

#ifdef __cplusplus
}
#endif

#endif  // QXPLAYSDK_BACKENDS_NETWORK_H
