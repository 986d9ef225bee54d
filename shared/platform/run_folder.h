// A run's own folder in the temporary folder holds a lock file for the whole run, so
// that a later run can tell a folder whose run ended without removing it (killed, the
// power cut) from one still in use, and remove it with the package it holds.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/lock_file.h"

namespace platform {

// The start of every run folder's name.
inline constexpr char kRunFolderPrefix[] = "vlrupdate-";

// Takes the lock of the run folder `folder`, just made; null when it cannot (also when
// another run's sweep took the still empty folder for a left one: make another).
std::unique_ptr<LockFile> HoldRunFolder(const std::filesystem::path& folder);

// Removes the run folder: its content, then its lock (let go), then the folder, so that
// it never holds anything without its lock. Never throws.
void ClearRunFolder(const std::filesystem::path& folder, std::unique_ptr<LockFile>& lock);

// Removes, in `base`, every run folder but `own` whose lock file is there and held by
// no one, and every empty one (its run was cut short before its lock or after it).
// Anything that is not a real folder, and a folder with content but no lock file (not
// ours), stay. Never throws.
void RemoveAbandonedRunFolders(const std::filesystem::path& base, const std::filesystem::path& own);

}  // namespace platform
