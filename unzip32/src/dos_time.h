// The MS-DOS date and time that every zip entry carries (local time, 2 s steps).
#pragma once

#include <cstdint>

namespace uz32 {

struct DosStamp {
  int year;    // 1980..2107
  int month;   // 1..12 in a well-formed stamp, 0..15 as stored
  int day;     // 1..31 (0..31 as stored)
  int hour;    // 0..23 (0..31 as stored)
  int minute;  // 0..59 (0..63 as stored)
  int second;  // 0..58 (0..62 as stored)
};

inline DosStamp DecodeDosStamp(uint16_t date, uint16_t time) {
  return DosStamp{1980 + (date >> 9), (date >> 5) & 15, date & 31,
                  time >> 11,         (time >> 5) & 63, (time & 31) * 2};
}

// True when the stamp names a real calendar time (the fields are in range).
inline bool IsPlausible(const DosStamp& s) {
  return s.month >= 1 && s.month <= 12 && s.day >= 1 && s.day <= 31 && s.hour <= 23 &&
         s.minute <= 59 && s.second <= 59;
}

}  // namespace uz32
