#include <windows.h>

#include "platform/library.h"

namespace platform {

namespace {

// A missing or broken library is a result, not a question for the user: no
// "cannot find" or "bad image" boxes while loading.
class QuietErrorMode {
 public:
  QuietErrorMode() { SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old_); }
  ~QuietErrorMode() { SetThreadErrorMode(old_, nullptr); }
  QuietErrorMode(const QuietErrorMode&) = delete;
  QuietErrorMode& operator=(const QuietErrorMode&) = delete;

 private:
  DWORD old_ = 0;
};

}  // namespace

bool DynamicLibrary::Load(const std::wstring& path) {
  handle_.reset();
  if (path.empty()) return false;
  QuietErrorMode quiet;
  // With a folder in the path, the library's own dependencies are searched for in
  // its folder first, as they would be for a library beside the program.
  bool hasFolder = path.find_first_of(L"\\/") != std::wstring::npos;
  handle_.reset(
      LoadLibraryExW(path.c_str(), nullptr, hasFolder ? LOAD_WITH_ALTERED_SEARCH_PATH : 0));
  return Loaded();
}

SymbolAddress DynamicLibrary::Symbol(const char* name) const {
  if (!handle_ || !name) return nullptr;
  FARPROC address = GetProcAddress(static_cast<HMODULE>(handle_.get()), name);
  return reinterpret_cast<SymbolAddress>(address);
}

void LibraryReleaser::operator()(void* handle) const { FreeLibrary(static_cast<HMODULE>(handle)); }

std::wstring SharedLibraryFileName(const std::wstring& baseName) { return baseName + L".dll"; }

}  // namespace platform
