// What bounds a download besides its own data: a rate below which an answer counts as
// broken, and a moment after which no download of the run goes on.
#pragma once

#include <cstdint>
#include <optional>

namespace vlr {

struct DownloadLimits {
  // An answer that brings fewer than minimumBytesPerSecond bytes a second over
  // rateWindowSeconds is broken (a mirror that drips never trips the silence timeout).
  // A window of 0 or less turns the rule off.
  std::uint32_t minimumBytesPerSecond = 1024;
  double rateWindowSeconds = 60.0;
  // On the system's steady clock: past it no request is sent, no read is made and no
  // continuation waited for; the download fails. None: no deadline.
  std::optional<double> deadline;
};

// The whole-run deadline of an unattended run unless the command line names another.
inline constexpr std::uint32_t kQuietDeadlineSeconds = 30 * 60;

// Watches one answer's rate over windows of DownloadLimits::rateWindowSeconds.
class RateWatch {
 public:
  explicit RateWatch(const DownloadLimits& limits) : limits_(limits) {}

  // A new answer begins at `now` with `total` bytes of the file already kept.
  void Begin(double now, std::int64_t total) noexcept {
    start_ = now;
    startTotal_ = total;
  }

  // True when the window that ends at `now` brought too little; a window that has run
  // its length begins anew either way.
  bool TooSlow(double now, std::int64_t total) noexcept;

 private:
  const DownloadLimits& limits_;
  double start_ = 0.0;
  std::int64_t startTotal_ = 0;
};

// True once `now` (steady clock) is past the limits' deadline.
inline bool PastDeadline(const DownloadLimits& limits, double now) noexcept {
  return limits.deadline && now >= *limits.deadline;
}

}  // namespace vlr
