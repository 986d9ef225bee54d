// Putting right what an extraction cut short (the process killed, the power gone) left
// in its folder, before anything else is done there.
#pragma once

#include "platform/file_system.h"
#include "status.h"

namespace uz32 {

// With a complete commit journal in folder, finishes that commit: makes its folders,
// moves each staged file still there over its target (replacing it in one step, or
// setting an old file in use aside first), then removes the journal. Without one (or
// with an incomplete one, removed), staged files are incomplete and are deleted. Then
// every old file set aside goes: deleted, or, when its name says which file it was and
// that name is missing, put back there. Files still in use stay for a later call.
// Returns Ok, or UNZIP_ERR_DISK_FULL when a journal's commit cannot be finished or the
// journal cannot be read; the journal and every file it names then stay as they are,
// for a later call to finish.
Status RecoverFolder(FileSystem& fs, const NativeString& folder);

}  // namespace uz32
