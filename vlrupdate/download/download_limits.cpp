#include "download/download_limits.h"

namespace vlr {

bool RateWatch::TooSlow(double now, std::int64_t total) noexcept {
  const double elapsed = now - start_;
  if (limits_.rateWindowSeconds <= 0.0 || elapsed < limits_.rateWindowSeconds) return false;
  const bool slow =
      static_cast<double>(total - startTotal_) < limits_.minimumBytesPerSecond * elapsed;
  Begin(now, total);
  return slow;
}

}  // namespace vlr
