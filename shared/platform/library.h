// Loading a shared library (a DLL on Windows, a shared object on Linux) at run time
// and finding its exported entry points.
#pragma once

#include <string>

#include "platform/unique_handle.h"

namespace platform {

// The generic form of an exported procedure's address; cast it to the procedure's
// real type before calling it.
using SymbolAddress = void (*)();

// Releases a loaded library (FreeLibrary, dlclose).
struct LibraryReleaser {
  void operator()(void* handle) const;
};

// One loaded library, released when the object goes.
class DynamicLibrary {
 public:
  // Loads the library at `path`, first releasing one loaded before. A path with a
  // folder loads exactly that file (on Windows its own dependencies are looked for
  // beside it first); a bare file name goes through the system's search, which on
  // Windows starts in the program's folder and, once the program has called
  // SetDllDirectoryW(L""), leaves the current folder out. Returns false when the
  // library cannot be loaded, leaving nothing loaded; never shows an error box.
  bool Load(const std::wstring& path);

  bool Loaded() const { return static_cast<bool>(handle_); }

  // The address of the exported procedure `name` (undecorated); nullptr when the
  // library has no such export or nothing is loaded.
  SymbolAddress Symbol(const char* name) const;

 private:
  UniqueHandle<void*, LibraryReleaser> handle_;
};

// The file name of the library called `baseName` on this platform: "unzip32.dll" on
// Windows, "libunzip32.so" on Linux.
std::wstring SharedLibraryFileName(const std::wstring& baseName);

}  // namespace platform
