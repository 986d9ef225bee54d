// Unpacking one archive into one folder through the extraction library.
#pragma once

#include <cstdint>
#include <string>

namespace vlr {

// Unpacks every member of the archive `zipPath` straight into `folder` (which ends
// with the path separator), replacing files of the same name, without recreating
// stored folders. Starts a new run for the callbacks (empty PrintText, ListedCount
// 0). Returns true when the library reports success (0); false for any other result
// and when the library or an entry point is missing or the call fails. Never throws.
// A path without an ANSI form that names it (see ansi_records.h) is a failure before
// the library is called: nothing is written anywhere. Otherwise the driver undoes
// nothing: what a failed extraction leaves is the library's doing (ours commits all
// members or none, so the folder stays as it was).
bool UnzipArchive(const std::wstring& zipPath, const std::wstring& folder) noexcept;

// The library's result in the last UnzipArchive call; -1 when the library was not
// called (missing, an entry point missing, a path without an ANSI form) or failed.
extern std::int32_t UnzipResult;

// Fills the option, callback and version records from the module state, asks the
// library for its version and runs the extraction; returns the library's result.
// The ANSI copies handed to the library are copied back into the module's records
// and released before it returns. Throws UnzipLibraryUnavailable when the library or
// one of its two entry points cannot be had (the version call has been made when
// only the extraction entry point is missing), UnrepresentablePath when a path has
// no ANSI form that names it (the version call has been made, the extraction not),
// std::bad_alloc when memory runs out.
std::int32_t CallUnzipDll();

// A procedure's entry address, returned unchanged; the callback record stores it.
std::uintptr_t FnPtr(std::uintptr_t address) noexcept;

}  // namespace vlr
