// Putting a folder built beside its target in the target's place.
#pragma once

#include <filesystem>
#include <string>

#include "publish/scratch_folder.h"

namespace vlrpub {

// Renames `built` to `mirror`. With replace, the existing `mirror` is first moved into a
// folder of ours beside it and removed once the new one is in place, or put back when
// the rename fails. Empty on success (built is then kept); else why, with `mirror` as it
// was (or, should even putting it back fail, the message says where it is).
std::string PutInPlace(ScratchFolder& built, const std::filesystem::path& mirror, bool replace);

}  // namespace vlrpub
