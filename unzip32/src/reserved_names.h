// The names the library gives its own files in the extraction folder, all starting
// with kReservedPrefixAscii (which no member may): staged members (.tmp), old files
// kept aside during a commit (.old) and the commit journal.
#pragma once

#include <optional>

#include "os/file_system.h"
#include "status.h"

namespace uz32 {

// The commit journal's name in the extraction folder.
inline constexpr char kJournalNameAscii[] = ".~uz32-commit.journal";
// The lock file an extraction holds in its folder while it works.
inline constexpr char kLockNameAscii[] = ".~uz32-lock";

enum class ReservedKind { None, Staged, Aside };

// Which of the library's files name is (a name, not a path); None for anything else,
// the journal and the lock included.
ReservedKind KindOf(const NativeString& name);

// True for exactly the names StagedName gives: ".~uz32-<digits>-<digits>.tmp".
bool IsStagedName(const NativeString& name);

// The name of a staged member: ".~uz32-<pid>-<n>.tmp".
NativeString StagedName(unsigned long counter);

// The name to keep target's old file under: ".~uz32-<pid>-<n>-<target>.old", which
// says where the file belongs when nothing else does; ".~uz32-<pid>-<n>.old" when
// target lies in a subfolder or the name would be too long for the system.
NativeString AsideName(unsigned long counter, const NativeString& target);

// The target an aside name carries (a name in the same folder); nothing when it
// carries none (older or long names) or is not an aside name.
std::optional<NativeString> AsideTarget(const NativeString& name);

// How many reserved names a staged or aside file may try before the folder counts as
// unusable.
inline constexpr int kReservedNameTries = 64;

// Finds a free aside name (AsideName, counter counting on) in folder for the old file
// of target (relative) and sets path to it. A name taken by a file or folder is passed
// over; a name that cannot be asked about (the share gone, access denied), or
// kReservedNameTries taken names, fail with UNZIP_ERR_DISK_FULL.
Status FindAsidePath(FileSystem& fs, const NativeString& folder, const NativeString& target,
                     unsigned long& counter, NativeString& path);

}  // namespace uz32
