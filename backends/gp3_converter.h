// The 3GP converter `QX_3gpFileConv`: writes the 3GPP stream of a local port
// into files while a converter recording runs. Every operation reports
// success as 0. The number in brackets is the ordinal in QX_3gpFileConv.dll.
#ifndef QXPLAYSDK_BACKENDS_GP3_CONVERTER_H
#define QXPLAYSDK_BACKENDS_GP3_CONVERTER_H

#include <stdint.h>

#include "backend_api.h"

#ifdef __cplusplus
extern "C" {
#endif

QX_BACKEND_API int32_t QX_BACKEND_CALL conv_start(int32_t port, const char* file_name);  // [1]
QX_BACKEND_API int32_t QX_BACKEND_CALL conv_input_data(int32_t port, const void* data,
                                                       uint32_t length);  // [2]
QX_BACKEND_API int32_t QX_BACKEND_CALL conv_switch_file(int32_t port,
                                                        const char* new_file_name);  // [3]
QX_BACKEND_API int32_t QX_BACKEND_CALL conv_stop(int32_t port);                      // [4]

#ifdef __cplusplus
}
#endif

#endif  // QXPLAYSDK_BACKENDS_GP3_CONVERTER_H
