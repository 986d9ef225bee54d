// Putting right what an extraction cut short (the process killed, the power gone) left
// in its folder, before anything else is done there; and the lock that keeps two
// extractions (or recoveries) out of each other's way in one folder.
#pragma once

#include <memory>

#include "os/file_system.h"
#include "platform/lock_file.h"
#include "status.h"

namespace uz32 {

// Takes the folder's lock file (kLockNameAscii; platform/lock_file.h, the updater's own),
// waiting up to about ten seconds (fs.Pause) while another extraction or recovery holds
// it. Fails with UNZIP_ERR_FOLDER_BUSY when it is
// still held then, or UNZIP_ERR_DISK_FULL when the lock file cannot be made.
Status LockFolder(FileSystem& fs, const NativeString& folder,
                  std::unique_ptr<platform::LockFile>& held);

// With a commit journal in folder, finishes that commit by applying the journal
// (journal_apply.h), then removes it; an entry that can never be applied (a link or
// file on its path, a folder at its target) is left out, its staged file deleted. A
// journal that is incomplete, damaged, or names anything this library cannot have
// written is removed unapplied. Then the staged files left are deleted, and every old
// file set aside goes: deleted, or, when its name says which file it was and that name
// is missing, put back there. Files still in use stay for a later call.
// Returns Ok, or UNZIP_ERR_UNFINISHED when a journal cannot be read or its commit
// cannot be finished now (the system refuses a step); the journal and every file it
// names then stay for a later call. Call it holding the folder's lock.
Status RecoverFolder(FileSystem& fs, const NativeString& folder);

}  // namespace uz32
