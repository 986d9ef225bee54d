// The pause a download makes before it asks again for a file whose connection broke.
#pragma once

namespace vlr {

// How many further requests one download may make after breaks.
inline constexpr int kMaxContinuations = 4;

// The wait before continuation `index` (0 to kMaxContinuations - 1): 1, 2, 4 and 8
// seconds, each lengthened by up to a quarter by `random01` (in [0, 1)), so that many
// updaters cut off at once do not all come back at the same moment.
double ContinuationWait(int index, double random01);

// Lets the window's events run for `seconds` of the system's steady clock, pausing
// between the passes, and returns true; returns false at once when an event has
// asked the download to stop (DownloadState no longer 1).
bool WaitLettingEventsRun(double seconds);

}  // namespace vlr
