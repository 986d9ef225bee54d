// How an update run ended, and what follows from it: the wizard's step message and
// the exit code of an unattended run.
#pragma once

#include <optional>
#include <string>

namespace vlr {

enum class UpdateOutcome {
  kUpdated,           // the package was unpacked
  kUpToDate,          // unattended only: the recorded version is the mirror's; nothing fetched
  kNotFetched,        // a file could not be fetched, or the version file had no version
  kNotAuthentic,      // a signature or, in a build with a key, a digest did not hold
  kRefusedOlder,      // older than the version recorded as installed
  kExtractionFailed,  // not unpacked (in a build without a key, a digest mismatch too)
  kExtractionUnfinished,  // some files new, some old: the next start completes the commit
  kWindowClosed,      // the window was closed during a download
};

struct UpdateResult {
  UpdateOutcome outcome = UpdateOutcome::kNotFetched;
  std::string digits;                    // the version read, when there was one
  std::optional<std::string> installed;  // the version recorded as installed
};

// The step message the wizard shows for `result`; empty for kWindowClosed.
std::wstring StepMessage(const UpdateResult& result, bool french);

// The exit code of an unattended run that ended with `outcome`: 0 updated or up to
// date, 1 not fetched, 2 not authentic, 3 refused as older, 4 extraction failed, 7
// extraction unfinished (kWindowClosed, which an unattended run cannot meet, gives 1).
int QuietExitCode(UpdateOutcome outcome);

}  // namespace vlr
