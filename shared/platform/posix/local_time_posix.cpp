#include "platform/local_time.h"

namespace platform {

bool LocalTime(std::int64_t utcSeconds, std::tm& out) {
  const std::time_t t = static_cast<std::time_t>(utcSeconds);
  if (static_cast<std::int64_t>(t) != utcSeconds) return false;
  return localtime_r(&t, &out) != nullptr;
}

}  // namespace platform
