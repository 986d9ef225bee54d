// The run folders that updaters make in the system's temporary folder: each holds a
// lock file for as long as its run lasts, so that a folder nobody holds belongs to a
// run that was killed, and the next run can remove it.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/lock_file.h"

namespace platform {

// A run folder's name begins with this, and goes on with random characters.
inline constexpr char kRunFolderPrefix[] = "vlrupdate-";

// Takes the lock of the run folder `folder` for this run, then marks the folder as
// held by a run. Null when it cannot.
std::unique_ptr<LockFile> HoldRunFolder(const std::filesystem::path& folder);

// Removes from `base` every run folder but `own` that is a real folder (no link), was
// once held by a run and whose lock can be taken now, and every one never held and
// last written more than a day ago (a run killed before it took its lock, or of an
// updater from before the locks). A folder that cannot be removed (another user's)
// stays. Never throws.
void RemoveStaleRunFolders(const std::filesystem::path& base, const std::filesystem::path& own);

// Removes this run's folder `folder`, letting go of its `lock` first. The folder first
// takes a name that marks it as ended, in one step, so that a cut at any point leaves
// either a folder the next run's sweep removes or nothing. Never throws.
void EndRunFolder(const std::filesystem::path& folder, std::unique_ptr<LockFile>& lock);

}  // namespace platform
