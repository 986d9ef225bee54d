// Which file or folder a path names, by the system's identity of it (device and inode;
// on Windows volume serial number and file ID) rather than by its spelling, which case,
// links, short names and separators can all vary.
#pragma once

#include <filesystem>

namespace vlrpub {

// True when a and b are one folder or one lies inside the other, judged by identity
// along both paths' existing parents (a path that does not exist yet is judged by its
// nearest existing parent). Paths are made absolute first.
bool FoldersOverlap(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace vlrpub
