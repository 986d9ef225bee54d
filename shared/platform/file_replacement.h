// What replacing a file or folder by a new one needs from the system: the new one takes
// the old one's access, and two folders trade places in one step where the system can.
#pragma once

#include <filesystem>
#include <system_error>

namespace platform {

// A file or folder that a web server reads must stay readable to it: `fresh` takes the
// owner and group of `old` where this process may give them (else it keeps its own),
// then `old`'s permission bits (for a file only its read and write bits; the mode is
// set after the owner, as a change of owner can clear set-id bits). For a folder, each
// file directly in it takes the same owner, group and read and write bits. Windows
// files and folders inherit their access from the parent, as the old one did: nothing
// is done there.
void TakeAccessOf(const std::filesystem::path& old, const std::filesystem::path& fresh);

// Writes the content of the closed file at `path`, or the names in the folder at
// `path`, through to the disk, so that they outlast a power cut; false when it could
// not. (A Windows folder needs nothing: NTFS logs its own names.)
bool FlushToDisk(const std::filesystem::path& path);

// Puts the file `from` in the place of `to` in one step, replacing a file there; false
// when it could not (both files are then as they were).
bool MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to);

// Exchanges the two folders in one step. True when done; false with `unsupported` set
// when the system or file system cannot, else with the error in `ec`.
bool ExchangeFolders(const std::filesystem::path& a, const std::filesystem::path& b,
                     bool& unsupported, std::error_code& ec);

}  // namespace platform
