#include "tests/abi/stack_check.h"

#include <cstddef>

static_assert(sizeof(void*) == 4, "the stack check is written for 32-bit x86");
// The offsets the assembly below writes to.
static_assert(offsetof(abicheck::CallOutcome, eax) == 0);
static_assert(offsetof(abicheck::CallOutcome, edx) == 4);
static_assert(offsetof(abicheck::CallOutcome, bytes_removed) == 8);
static_assert(offsetof(abicheck::CallOutcome, registers_kept) == 12);

extern "C" void qx_abi_call_words(const void* function, const uint32_t* words, uint32_t count,
                                  abicheck::CallOutcome* outcome);

// qx_abi_call_words(function, words, count, outcome), itself __cdecl.
//
// Frame: ebp as usual; -4..-12 the saved ebx, esi, edi; -16 the stack
// pointer the callee is entered with (just below the return address). The
// callee-saved registers are loaded with marks before the call, the frame
// pointer is kept in edi, and afterwards the marks are compared and the
// stack pointer is measured against -16 before the frame is restored from
// ebp.
asm(R"(
  .text
  .p2align 4
  .globl _qx_abi_call_words
  .def _qx_abi_call_words; .scl 2; .type 32; .endef
_qx_abi_call_words:
  pushl %ebp
  movl %esp, %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  subl $4, %esp
  movl 8(%ebp), %eax
  movl 12(%ebp), %esi
  movl 16(%ebp), %ecx
1:
  testl %ecx, %ecx
  jz 2f
  decl %ecx
  pushl (%esi,%ecx,4)
  jmp 1b
2:
  movl %esp, -16(%ebp)
  movl %ebp, %edi
  movl $0x5a17c3e1, %ebx
  movl $0x6b28d4f2, %esi
  movl $0x7c39e503, %ebp
  call *%eax
  xorl %ecx, %ecx
  cmpl $0x5a17c3e1, %ebx
  jne 3f
  cmpl $0x6b28d4f2, %esi
  jne 3f
  cmpl $0x7c39e503, %ebp
  jne 3f
  incl %ecx
3:
  movl %edi, %ebp
  movl 20(%ebp), %edi
  movl %eax, 0(%edi)
  movl %edx, 4(%edi)
  movl %esp, %eax
  subl -16(%ebp), %eax
  movl %eax, 8(%edi)
  movb %cl, 12(%edi)
  leal -12(%ebp), %esp
  popl %edi
  popl %esi
  popl %ebx
  popl %ebp
  ret
)");

namespace abicheck {

CallOutcome CallWithWords(const void* function, const std::vector<uint32_t>& words) {
  CallOutcome outcome;
  qx_abi_call_words(function, words.data(), static_cast<uint32_t>(words.size()), &outcome);
  return outcome;
}

}  // namespace abicheck
