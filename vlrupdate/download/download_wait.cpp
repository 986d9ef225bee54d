#include "download/download_wait.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "download/download_state.h"
#include "platform/services.h"
#include "platform/system.h"
#include "platform/window_system.h"

namespace vlr {

namespace {

// The longest single pause: where nothing cuts a pause short (no window), a stop
// request still acts within it.
constexpr double kLongestPauseSeconds = 0.1;

}  // namespace

double ContinuationWait(int index, double random01) {
  index = std::clamp(index, 0, kMaxContinuations - 1);
  random01 = std::clamp(random01, 0.0, 1.0);
  return static_cast<double>(1 << index) * (1.0 + 0.25 * random01);
}

bool WaitLettingEventsRun(double seconds) {
  platform::System& system = platform::Get<platform::System>();
  platform::WindowSystem& windows = platform::Get<platform::WindowSystem>();
  const double end = system.SteadySeconds() + seconds;
  for (;;) {
    windows.PumpEvents();
    if (DownloadState != 1) return false;
    const double left = end - system.SteadySeconds();
    if (left <= 0) return true;
    system.Pause(
        static_cast<std::uint32_t>(std::ceil(std::min(left, kLongestPauseSeconds) * 1000.0)));
  }
}

}  // namespace vlr
