#include "remote/time_string.h"

#include <array>
#include <cstddef>
#include <limits>
#include <new>
#include <string>

#include "remote/text_splitter.h"

namespace qx {
namespace {

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the three "-"-separated numbers of a date or time part. All three
// are known before any is stored, so a failure leaves the record untouched.
bool ReadPart(std::string_view part, int32_t& first, int32_t& second, int32_t& third) {
  TextSplitter numbers;
  numbers.SetDelimiter("-");
  if (!numbers.Split(part)) {
    return false;
  }
  const std::array<int32_t, 3> values = {LeadingNumber(numbers.Token(0)),
                                         LeadingNumber(numbers.Token(1)),
                                         LeadingNumber(numbers.Token(2))};
  first = values[0];
  second = values[1];
  third = values[2];
  return true;
}

}  // namespace

int32_t LeadingNumber(std::string_view text) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int64_t kMagnitudeLimit = kMax + 1;  // |INT32_MIN|
  std::size_t at = 0;
  while (at < text.size() && IsWhiteSpace(text[at])) {
    ++at;
  }
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  // The magnitude stops growing once it passes what int32_t can hold, so it
  // never overflows however many digits follow.
  int64_t magnitude = 0;
  for (; at < text.size() && IsDigit(text[at]); ++at) {
    if (magnitude <= kMagnitudeLimit) {
      magnitude = magnitude * 10 + (text[at] - '0');
    }
  }
  if (negative) {
    return magnitude >= kMagnitudeLimit ? std::numeric_limits<int32_t>::min()
                                        : static_cast<int32_t>(-magnitude);
  }
  return magnitude > kMax ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(magnitude);
}

bool ParseTimeString(const char* text, NetDateTime* record) noexcept {
  if (text == nullptr || record == nullptr) {
    return false;
  }
  try {
    TextSplitter parts;
    parts.SetDelimiter(" ");
    if (!parts.Split(text) || parts.Count() != 2) {
      return false;
    }
    const std::string date = parts.Token(0);
    const std::string time = parts.Token(1);
    if (!date.empty() && !ReadPart(date, record->year, record->month, record->day)) {
      return false;
    }
    if (!time.empty() && !ReadPart(time, record->hour, record->minute, record->second)) {
      return false;
    }
    return true;
  } catch (const std::bad_alloc&) {
    // Running out of memory is a text that could not be read.
    return false;
  }
}

}  // namespace qx
