// Asking the extraction library to finish what an extraction cut short (the process
// killed, the power gone) left in Veloran's folder, before the updater does anything
// else there.
#pragma once

#include <string>

namespace vlr {

// Calls the library's UzpRecoverFolder for folder (ending with the path separator)
// when the library in the updater's folder has that export; an older library without
// it, a missing library or a folder without an ANSI form that names it is not asked.
// Returns the library's result, or -1 when it was not asked. Never throws. Only call
// it when no other updater can be working in the folder.
int RecoverUnzipFolder(const std::wstring& folder) noexcept;

}  // namespace vlr
