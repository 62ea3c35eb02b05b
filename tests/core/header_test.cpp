// The binary layout that crosses the interface.
#include <gtest/gtest.h>

#include <cstddef>

#include "backends/network.h"
#include "backends/player.h"
#include "qxplaysdk.h"

extern "C" size_t qx_c_sizeof_decode_frame_info(void);
extern "C" int qx_c_result_code_sum(void);
extern "C" OvraDecodeCallback qx_c_decode_callback(void);

static_assert(offsetof(DecodeFrameInfo, marker) == 0);
static_assert(offsetof(DecodeFrameInfo, info_c) == 4);
static_assert(offsetof(DecodeFrameInfo, info_e) == 8);
static_assert(offsetof(DecodeFrameInfo, sequence) == 12);
static_assert(offsetof(DecodeFrameInfo, info_a) == 16);
static_assert(offsetof(DecodeFrameInfo, info_b) == 20);
static_assert(offsetof(DecodeFrameInfo, extra_a) == 24);
static_assert(offsetof(DecodeFrameInfo, extra_b) == 24 + sizeof(uintptr_t));
static_assert(sizeof(DecodeFrameInfo) == (sizeof(uintptr_t) == 4 ? 32 : 40));

static_assert(sizeof(PlayerFrameInfo) == 20);
static_assert(offsetof(PlayerFrameInfo, info_e) == 16);
static_assert(sizeof(NetDateTime) == 24);
static_assert(offsetof(NetDateTime, second) == 20);

TEST(Header, CompilesAsCAndAgreesOnTheFrameRecordLayout) {
  EXPECT_EQ(qx_c_sizeof_decode_frame_info(), sizeof(DecodeFrameInfo));
  EXPECT_NE(qx_c_decode_callback(), nullptr);
}

TEST(Header, ResultCodesRunFromZeroToMinusTwelve) {
  EXPECT_EQ(qx_c_result_code_sum(), -(1 + 2 + 3 + 4 + 5 + 6 + 7 + 8 + 9 + 10 + 11 + 12));
  EXPECT_EQ(OVRA_OK, 0);
  EXPECT_EQ(OVRA_PARAM_ERROR, -2);
  EXPECT_EQ(OVRA_NETSDK_ERROR, -9);
  EXPECT_EQ(OVRA_RECYCLE_PORT_ERROR, -12);
}
