#include <windows.h>

#include "platform/file_replacement.h"
#include "platform/win32/kernel_handles.h"

namespace platform {

void TakeAccessOf(const std::filesystem::path&, const std::filesystem::path&) {}

bool FlushToDisk(const std::filesystem::path& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return true;
  const win32::UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && FlushFileBuffers(file.get()) != FALSE;
}

bool MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to) {
  return MoveFileExW(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

// MoveFileEx cannot swap two folders: the caller renames them one at a time.
bool ExchangeFolders(const std::filesystem::path&, const std::filesystem::path&,
                     bool& unsupported, std::error_code&) {
  unsupported = true;
  return false;
}

}  // namespace platform
