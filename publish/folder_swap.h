// Putting a folder built beside its target in the target's place.
#pragma once

#include <filesystem>
#include <string>

#include "publish/scratch_folder.h"

namespace vlrpub {

// Renames `built` to `mirror`; interrupts wait until it is done. With replace, `built`
// first gets the existing folder's permissions, and its owner and group where the
// system allows; then:
//  - on Linux, where the file system can, the two folders are exchanged in one step
//    (the old mirror then lies at built's name and goes with `built`);
//  - otherwise the existing `mirror` is moved into a working folder beside it and
//    removed once the new one is in place, or put back when the rename fails. Should
//    the process die between the two renames, RecoverInterruptedRun puts it back.
// Empty on success (built is then kept, or holds the old mirror); else why, with
// `mirror` as it was (or, should even putting it back fail, the message says where it
// is).
std::string PutInPlace(ScratchFolder& built, const std::filesystem::path& mirror, bool replace);

}  // namespace vlrpub
