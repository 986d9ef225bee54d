#include <dlfcn.h>

#include "platform/library.h"
#include "platform/text.h"

namespace platform {

bool DynamicLibrary::Load(const std::wstring& path) {
  handle_.reset();
  if (path.empty()) return false;
  // RTLD_NOW: a library with unresolved symbols fails here rather than in the middle
  // of a call.
  handle_.reset(dlopen(ToAnsi(path).c_str(), RTLD_NOW | RTLD_LOCAL));
  return Loaded();
}

SymbolAddress DynamicLibrary::Symbol(const char* name) const {
  if (!handle_ || !name) return nullptr;
  return reinterpret_cast<SymbolAddress>(dlsym(handle_.get(), name));
}

void LibraryReleaser::operator()(void* handle) const { dlclose(handle); }

std::wstring SharedLibraryFileName(const std::wstring& baseName) {
  return L"lib" + baseName + L".so";
}

}  // namespace platform
