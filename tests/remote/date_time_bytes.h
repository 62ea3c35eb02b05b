// The 24 bytes of a date-time record as the network library receives them:
// six 32-bit signed numbers, little-endian, in the order year, month, day,
// hour, minute, second.
#ifndef QXPLAYSDK_TESTS_REMOTE_DATE_TIME_BYTES_H
#define QXPLAYSDK_TESTS_REMOTE_DATE_TIME_BYTES_H

#include <array>
#include <cstdint>
#include <vector>

namespace qxtest {

inline std::vector<uint8_t> DateTimeBytes(const std::array<int32_t, 6>& fields) {
  std::vector<uint8_t> bytes;
  for (const int32_t field : fields) {
    const auto value = static_cast<uint32_t>(field);
    for (int shift = 0; shift < 32; shift += 8) {
      bytes.push_back(static_cast<uint8_t>(value >> shift));
    }
  }
  return bytes;
}

}  // namespace qxtest

#endif  // QXPLAYSDK_TESTS_REMOTE_DATE_TIME_BYTES_H
