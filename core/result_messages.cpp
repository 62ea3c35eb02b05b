// Ovra_GetErrorMessage: the constant text of each result code.
#include <array>
#include <cstdint>

#include "qxplaysdk.h"

namespace {

// Built from the header's one list of result codes, indexed by the negated
// code. The list runs 0, -1, ... -12 without gaps.
#define QX_RESULT_TEXT(name, value, text) text,
constexpr std::array<const char*, 13> kMessages = {OVRA_RESULT_CODES(QX_RESULT_TEXT)};
#undef QX_RESULT_TEXT

#define QX_RESULT_VALUE(name, value, text) value,
constexpr std::array<int32_t, 13> kValues = {OVRA_RESULT_CODES(QX_RESULT_VALUE)};
#undef QX_RESULT_VALUE

constexpr bool ValuesRunWithoutGaps() {
  for (std::size_t i = 0; i < kValues.size(); ++i) {
    if (kValues[i] != -static_cast<int32_t>(i)) {
      return false;
    }
  }
  return true;
}
static_assert(ValuesRunWithoutGaps(), "result codes must run 0, -1, ... -12 in order");

}  // namespace

extern "C" OVRA_API const char* OVRA_CALL Ovra_GetErrorMessage(int32_t code) {
  if (code > 0 || code < -12) {
    return nullptr;
  }
  return kMessages[static_cast<std::size_t>(-code)];
}
