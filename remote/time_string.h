// Time strings of the remote recorder functions: "YYYY-MM-DD hh-mm-ss", a
// date part and a time part separated by exactly one space, each part three
// decimal numbers separated by "-" (leading zeros optional). No range is
// checked: the numbers reach the network library as the text gives them.
#ifndef QXPLAYSDK_REMOTE_TIME_STRING_H
#define QXPLAYSDK_REMOTE_TIME_STRING_H

#include <cstdint>
#include <string_view>

#include "backends/network.h"

namespace qx {

// Reads `text` into `record`. The caller zero-fills the record first: only
// the fields of a non-empty part are written, so an empty part leaves its
// three zeros. A missing number reads as 0 and numbers after the third are
// ignored. Fails, writing nothing, for a null pointer or a text that does
// not split at spaces into exactly two parts (an empty text included).
bool ParseTimeString(const char* text, NetDateTime* record) noexcept;

// The value of a number's text: leading white space skipped, one optional
// sign, then decimal digits up to the first other character; 0 without
// digits. Beyond the range of int32_t the value stops at INT32_MAX or
// INT32_MIN.
int32_t LeadingNumber(std::string_view text);

}  // namespace qx

#endif  // QXPLAYSDK_REMOTE_TIME_STRING_H
