// The 3GPP play library `Qx3GppPlaysdk`: decoding and rendering of 3GPP
// streams for local ports of media type 1. Every operation reports success
// as 0. The number in brackets is the ordinal in Qx3GppPlaysdk.dll.
#ifndef QXPLAYSDK_BACKENDS_GPP_PLAYER_H
#define QXPLAYSDK_BACKENDS_GPP_PLAYER_H

#include <stdint.h>

#include "backend_api.h"

#ifdef __cplusplus
extern "C" {
#endif

// gpp_open_stream and gpp_input_data answer this when an argument can never
// be accepted (a buffer size above the library's maximum, a block larger than
// the whole buffer), unlike another failure, after which a block may be
// offered again.
#define QX_GPP_INVALID_ARGUMENT (-2)
QX_BACKEND_API int32_t QX_BACKEND_CALL gpp_open_stream(int32_t port, const void* initial_block,
                                                       uint32_t buffer_size);  // [1]
QX_BACKEND_API int32_t QX_BACKEND_CALL gpp_close_stream(int32_t port);         // [2]
QX_BACKEND_API int32_t QX_BACKEND_CALL gpp_input_data(int32_t port, const void* data,
                                                      uint32_t length);       // [3]
QX_BACKEND_API int32_t QX_BACKEND_CALL gpp_play(int32_t port, void* window);  // [4]
QX_BACKEND_API int32_t QX_BACKEND_CALL gpp_stop(int32_t port);                // [5]
QX_BACKEND_API int32_t QX_BACKEND_CALL gpp_set_colour(int32_t port, int32_t region,
                                                      int32_t brightness, int32_t contrast,
                                                      int32_t saturation,
                                                      int32_t hue);  // [8]
QX_BACKEND_API int32_t QX_BACKEND_CALL gpp_get_colour(int32_t port, int32_t region,
                                                      int32_t* brightness, int32_t* contrast,
                                                      int32_t* saturation,
                                                      int32_t* hue);  // [9]

#ifdef __cplusplus
}
#endif

#endif  // QXPLAYSDK_BACKENDS_GPP_PLAYER_H
