// Date-time records as the network library reads them: UTC instants.
#ifndef QXPLAYSDK_BACKENDS_NET_DATE_TIME_H
#define QXPLAYSDK_BACKENDS_NET_DATE_TIME_H

#include <cstdint>
#include <optional>
#include <string>

#include "backends/network.h"

namespace qx::net {

// Seconds since 1970-01-01 00:00:00 UTC of a record that names a real
// instant (month 1..12, a day of that month, hour 0..23, minute and second
// 0..59, year 1900..9999); nothing for any other record.
std::optional<int64_t> UnixSeconds(const NetDateTime& record);

// A span of recorded time: start before end, both real instants.
struct TimeSpan {
  int64_t start = 0;  // seconds since 1970, UTC
  int64_t end = 0;
  int64_t seconds() const { return end - start; }
};
// Nothing for a null record, one that is no real instant, or an end that is
// not after the start.
std::optional<TimeSpan> SpanOf(const NetDateTime* start, const NetDateTime* end);

// The instant in the compact form of RTSP clock ranges: 20110506T083000Z.
std::string ClockText(int64_t unix_seconds);

// Nanoseconds since 1900-01-01 UTC, the epoch of RTSP clock ranges, as
// GStreamer's RTSP source takes a clock range.
uint64_t NanosecondsSince1900(int64_t unix_seconds);

}  // namespace qx::net

#endif  // QXPLAYSDK_BACKENDS_NET_DATE_TIME_H
