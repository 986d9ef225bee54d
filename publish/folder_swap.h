// Putting a folder built beside its target in the target's place, and a new version
// file and signature in place of a mirror's own.
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

// The copy of the replaced version.html that PutPairInPlace expects in its folder.
inline constexpr char kReplacedPageName[] = "version.html.old";

// Renames the new version.html, then the new version.html.sig, from `aside` (a working
// folder inside `mirror`) over the mirror's own; interrupts wait until both are done.
// Two files cannot change in one step: in between the folder holds the new
// version.html with the old signature, and an updater that fetches the pair across the
// switch refuses it as not authentic (it installs nothing; its next run gets the new
// pair). version.html goes first: a client then meets the mixed pair only when it asks
// for both files within the microseconds between the renames, or straddles the switch,
// which no order avoids. Both files first take the old version.html's access (mode,
// owner and group where the system allows), so the web server reads them. When the
// signature's rename fails, the old version.html (kept in `aside` as
// kReplacedPageName) is put back, so the old pair stands. Empty on success; else why,
// with the folder as it was (or, should even putting back fail, the message says so).
std::string PutPairInPlace(ScratchFolder& aside, const std::filesystem::path& mirror);

}  // namespace vlrpub
