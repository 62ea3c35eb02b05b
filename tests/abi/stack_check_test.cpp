// The measuring call itself: it must tell the two calling conventions apart
// and notice a callee that breaks a callee-saved register, or the checks
// built on it could not fail.
#include <gtest/gtest.h>

#include "tests/abi/stack_check.h"

// Breaks the calling convention on purpose: returns with ebx changed. The
// measuring call restores ebx from its own frame afterwards.
extern "C" void qx_abi_clobbers_ebx(void);
asm(R"(
  .text
  .globl _qx_abi_clobbers_ebx
  .def _qx_abi_clobbers_ebx; .scl 2; .type 32; .endef
_qx_abi_clobbers_ebx:
  movl $0, %ebx
  ret
)");

namespace abicheck {
namespace {

int32_t __cdecl CdeclDifference(int32_t a, int32_t b, int32_t c) { return a - b - c; }
int32_t __stdcall StdcallDifference(int32_t a, int32_t b, int32_t c) { return a - b - c; }

TEST(StackCheck, SeesTheCallerRemoveCdeclArguments) {
  const CallOutcome outcome = CallWithWords(FunctionAddress(&CdeclDifference), {10, 3, 2});
  EXPECT_EQ(static_cast<int32_t>(outcome.eax), 5);
  EXPECT_EQ(outcome.bytes_removed, 0U);
  EXPECT_TRUE(outcome.registers_kept);
}

TEST(StackCheck, SeesTheCalleeRemoveStdcallArguments) {
  const CallOutcome outcome = CallWithWords(FunctionAddress(&StdcallDifference), {10, 3, 2});
  EXPECT_EQ(static_cast<int32_t>(outcome.eax), 5);
  EXPECT_EQ(outcome.bytes_removed, 12U);
  EXPECT_TRUE(outcome.registers_kept);
}

TEST(StackCheck, SeesABrokenCalleeSavedRegister) {
  const CallOutcome outcome = CallWithWords(FunctionAddress(&qx_abi_clobbers_ebx), {});
  EXPECT_EQ(outcome.bytes_removed, 0U);
  EXPECT_FALSE(outcome.registers_kept);
}

}  // namespace
}  // namespace abicheck
