#include "mirror/utc_date.h"

#include <charconv>
#include <chrono>
#include <cstdio>

namespace vlr {

namespace {

namespace chrono = std::chrono;

// The days "YYYY-MM-DD" can write: 0000-01-01 to 9999-12-31.
constexpr UtcDay kFirstWritten = -719528;
constexpr UtcDay kLastWritten = 2932896;

// The number written by `text`'s ASCII digits; -1 when one is not a digit.
int Number(std::string_view text) {
  int n = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, n);
  return text.starts_with('-') || error != std::errc() || stop != end ? -1 : n;
}

}  // namespace

UtcDay UtcDayOf(std::int64_t seconds) {
  // Rounded down, also before 1970.
  return chrono::floor<chrono::days>(chrono::seconds(seconds)).count();
}

std::optional<UtcDay> ParseUtcDate(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  const int year = Number(text.substr(0, 4));
  const int month = Number(text.substr(5, 2));
  const int day = Number(text.substr(8, 2));
  if (year < 0 || month < 0 || day < 0) return std::nullopt;
  // A day the month has: 29 February only in a leap year.
  const chrono::year_month_day date(chrono::year(year), chrono::month(static_cast<unsigned>(month)),
                                    chrono::day(static_cast<unsigned>(day)));
  if (!date.ok()) return std::nullopt;
  return chrono::sys_days(date).time_since_epoch().count();
}

std::string UtcDateText(UtcDay day) {
  if (day < kFirstWritten || day > kLastWritten) return "out of range";
  const chrono::year_month_day date{chrono::sys_days(chrono::days(day))};
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

}  // namespace vlr
