// Calendar dates in UTC, as the version file's expiry line writes them ("2027-01-07"),
// counted as days since 1970-01-01 so that they compare and add as numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vlr {

// Days since 1970-01-01 (negative before it).
using UtcDay = std::int64_t;

// The UTC day that `seconds` since 1970-01-01 00:00:00 UTC fall on.
UtcDay UtcDayOf(std::int64_t seconds);

// The day written exactly "YYYY-MM-DD": four, two and two ASCII digits, a month from 01
// to 12 and a day that the month has (29 February only in a leap year). Nothing for any
// other text.
std::optional<UtcDay> ParseUtcDate(std::string_view text);

// The day as "YYYY-MM-DD"; only days from 0000-01-01 to 9999-12-31 have that form, and
// others give "out of range".
std::string UtcDateText(UtcDay day);

}  // namespace vlr
