/* Compiled as C99: the public header must be plain C. */
#include "qxplaysdk.h"

static void OVRA_CALLBACK OnDecode(int32_t port, const DecodeFrameInfo* info, uintptr_t user) {
  (void)port;
  (void)info;
  (void)user;
}

size_t qx_c_sizeof_decode_frame_info(void) { return sizeof(DecodeFrameInfo); }

int qx_c_result_code_sum(void) {
  return OVRA_OK + OVRA_NO_UNUSED_PORT + OVRA_PARAM_ERROR + OVRA_PLAYSDK_ERROR +
         OVRA_AUDIO_NOT_INITIALISED + OVRA_3GPPSDK_ERROR + OVRA_PARAM_OVER + OVRA_NEED_FILE_MODE +
         OVRA_NEED_STREAM_MODE + OVRA_NETSDK_ERROR + OVRA_MEDIA_TYPE_NOT_RIGHT +
         OVRA_PARSE_TIME_ERROR + OVRA_RECYCLE_PORT_ERROR;
}

OvraDecodeCallback qx_c_decode_callback(void) { return OnDecode; }
