// The extraction library, "unzip32.dll" (libunzip32.so on Linux), loaded from the
// updater's folder when first needed and kept.
#pragma once

#include <stdexcept>

#include "platform/library.h"

namespace vlr {

// The library or one of its entry points cannot be had.
class UnzipLibraryUnavailable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The address of the library's export `name`, loading the library first when it is
// not loaded yet. The library file is the one in the updater's folder as the System
// service reports it (by bare name through the system's search when the folder is
// unknown); when that folder changes between calls, the library there replaces the
// one loaded before. A failed load is tried again at the next call. Throws
// UnzipLibraryUnavailable when the library cannot be loaded or has no such export;
// whatever was loaded before a failed load is released.
platform::SymbolAddress UnzipLibraryEntry(const char* name);

}  // namespace vlr
