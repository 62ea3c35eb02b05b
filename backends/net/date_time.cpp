#include "backends/net/date_time.h"

#include <fmt/format.h>

namespace qx::net {
namespace {

constexpr int64_t kSeconds1900To1970 = 2208988800;

bool IsLeap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int64_t year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the date, in the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

struct Civil {
  int64_t year, month, day;
};
Civil CivilFromDays(int64_t days) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_index = (5 * day_of_year + 2) / 153;
  const int64_t day = day_of_year - (153 * month_index + 2) / 5 + 1;
  const int64_t month = month_index < 10 ? month_index + 3 : month_index - 9;
  return {year_of_era + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

}  // namespace

std::optional<int64_t> UnixSeconds(const NetDateTime& r) {
  // Clock ranges start at 1900; four digits is what their text can carry.
  if (r.year < 1900 || r.year > 9999) return std::nullopt;
  if (r.month < 1 || r.month > 12) return std::nullopt;
  if (r.day < 1 || r.day > DaysInMonth(r.year, r.month)) return std::nullopt;
  if (r.hour < 0 || r.hour > 23 || r.minute < 0 || r.minute > 59 || r.second < 0 || r.second > 59)
    return std::nullopt;
  return DaysFromCivil(r.year, r.month, r.day) * 86400 + r.hour * 3600 + r.minute * 60 + r.second;
}

std::optional<TimeSpan> SpanOf(const NetDateTime* start, const NetDateTime* end) {
  if (start == nullptr || end == nullptr) return std::nullopt;
  std::optional<int64_t> from = UnixSeconds(*start);
  std::optional<int64_t> to = UnixSeconds(*end);
  if (!from || !to || *to <= *from) return std::nullopt;
  return TimeSpan{*from, *to};
}

std::string ClockText(int64_t unix_seconds) {
  int64_t days = unix_seconds / 86400;
  int64_t rest = unix_seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  Civil civil = CivilFromDays(days);
  return fmt::format("{:04}{:02}{:02}T{:02}{:02}{:02}Z", civil.year, civil.month, civil.day,
                     rest / 3600, rest / 60 % 60, rest % 60);
}

uint64_t NanosecondsSince1900(int64_t unix_seconds) {
  return static_cast<uint64_t>(unix_seconds + kSeconds1900To1970) * 1000000000ULL;
}

}  // namespace qx::net
