#include "extract/unzip_library.h"

#include <string>

#include "platform/services.h"
#include "platform/system.h"
#include "platform/text.h"

namespace vlr {

namespace {

// The library in use and where it came from; loaded once, kept until the program
// ends.
struct LoadedLibrary {
  std::wstring path;
  platform::DynamicLibrary library;
};

LoadedLibrary& Loaded() {
  static LoadedLibrary loaded;
  return loaded;
}

// Only the updater's own folder is searched: a library of the same name elsewhere
// on the system may be another program's, with other records.
std::wstring LibraryPath() {
  std::wstring file = platform::SharedLibraryFileName(L"unzip32");
  std::wstring folder = platform::Get<platform::System>().UpdaterFolder();
  if (folder.empty()) return file;
  if (folder.back() != platform::kPathSeparator) folder += platform::kPathSeparator;
  return folder + file;
}

}  // namespace

platform::SymbolAddress UnzipLibraryEntry(const char* name) {
  LoadedLibrary& loaded = Loaded();
  std::wstring path = LibraryPath();
  if (!loaded.library.Loaded() || loaded.path != path) {
    loaded.path.clear();
    if (!loaded.library.Load(path)) {
      throw UnzipLibraryUnavailable("cannot load " + platform::ToUtf8(path));
    }
    loaded.path = path;
  }
  platform::SymbolAddress address = loaded.library.Symbol(name);
  if (!address) throw UnzipLibraryUnavailable(std::string("no entry point ") + name);
  return address;
}

}  // namespace vlr
