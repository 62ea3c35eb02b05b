// Calls a function the way a 32-bit Windows caller does, one 32-bit word per
// argument, and reports what the callee did with the stack.
//
// A caller of a __cdecl function removes the arguments itself; a __stdcall
// function removes them before it returns. A callee compiled for the other
// convention leaves the caller's stack pointer off by the size of the
// arguments, which this call measures instead of trusting a function type.
#ifndef QXPLAYSDK_TESTS_ABI_STACK_CHECK_H
#define QXPLAYSDK_TESTS_ABI_STACK_CHECK_H

#include <cstdint>
#include <cstring>
#include <vector>

namespace abicheck {

struct CallOutcome {
  uint32_t eax = 0;             // the return value
  uint32_t edx = 0;             // high word of a 64-bit return value
  uint32_t bytes_removed = 0;   // argument bytes the callee took off the stack
  bool registers_kept = false;  // ebx, esi, edi and ebp as before the call
};

// Pushes `words` right to left (words[0] nearest the return address), calls
// `function` and measures the stack pointer after it returns.
CallOutcome CallWithWords(const void* function, const std::vector<uint32_t>& words);

// A pointer as the 32-bit argument word a caller pushes.
inline uint32_t Word(const void* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

// A function's address as an argument word.
template <typename Function>
uint32_t FunctionWord(Function* function) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(function));
}

// A function's address, to call it through CallWithWords.
template <typename Function>
const void* FunctionAddress(Function* function) {
  return reinterpret_cast<const void*>(function);
}

// A float as its argument word.
inline uint32_t Word(float value) {
  uint32_t word = 0;
  std::memcpy(&word, &value, sizeof word);
  return word;
}

}  // namespace abicheck

#endif  // QXPLAYSDK_TESTS_ABI_STACK_CHECK_H
