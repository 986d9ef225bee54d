// The local time of a moment, by this computer's time zone.
#pragma once

#include <cstdint>
#include <ctime>

namespace platform {

// `utcSeconds` since 1970 as local time. False when the system cannot say.
bool LocalTime(std::int64_t utcSeconds, std::tm& out);

}  // namespace platform
