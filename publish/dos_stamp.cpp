#include "publish/dos_stamp.h"

#include <ctime>

namespace vlrpub {

namespace {

constexpr DosStamp kEarliest{(0u << 9) | (1u << 5) | 1u, 0};
constexpr DosStamp kLatest{(127u << 9) | (12u << 5) | 31u, (23u << 11) | (59u << 5) | 29u};

bool LocalTime(std::int64_t utcSeconds, std::tm& out) {
  const std::time_t t = static_cast<std::time_t>(utcSeconds);
  if (static_cast<std::int64_t>(t) != utcSeconds) return false;
#ifdef _WIN32
  return localtime_s(&out, &t) == 0;
#else
  return localtime_r(&t, &out) != nullptr;
#endif
}

}  // namespace

DosStamp DosStampOf(std::int64_t utcSeconds) {
  std::tm local{};
  if (!LocalTime(utcSeconds, local)) return utcSeconds < 0 ? kEarliest : kLatest;
  const int year = local.tm_year + 1900;
  if (year < 1980) return kEarliest;
  if (year > 2107) return kLatest;
  DosStamp s;
  s.date =
      static_cast<std::uint16_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  // A leap second (60) stays within the minute.
  const int seconds = local.tm_sec > 59 ? 59 : local.tm_sec;
  s.time = static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (seconds / 2));
  return s;
}

}  // namespace vlrpub
