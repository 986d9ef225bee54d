// The MS-DOS date and time a zip entry carries: local time in two-second steps.
#pragma once

#include <cstdint>

namespace vlrpub {

struct DosStamp {
  std::uint16_t date = 0;
  std::uint16_t time = 0;
};

// utcSeconds as a local-time stamp, seconds rounded down to the two-second step. Times
// before 1980 give 1 January 1980 00:00, times after 2107 give 31 December 2107
// 23:59:58: the exact time travels in the entry's UTC field.
DosStamp DosStampOf(std::int64_t utcSeconds);

}  // namespace vlrpub
