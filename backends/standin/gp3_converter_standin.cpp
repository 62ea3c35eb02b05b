// Stand-in 3GP converter: every operation succeeds (returns 0).
#include "backends/gp3_converter.h"

extern "C" {

int32_t QX_BACKEND_CALL conv_start(int32_t, const char*) { return 0; }
int32_t QX_BACKEND_CALL conv_input_data(int32_t, const void*, uint32_t) { return 0; }
int32_t QX_BACKEND_CALL conv_switch_file(int32_t, const char*) { return 0; }
int32_t QX_BACKEND_CALL conv_stop(int32_t) { return 0; }

}  // extern "C"
