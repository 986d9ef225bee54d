#include <windows.h>

#include "platform/lock_file.h"
#include "platform/win32/kernel_handles.h"

namespace platform {

namespace {

class WinLockFile final : public LockFile {
 public:
  explicit WinLockFile(win32::UniqueFile file) : file_(std::move(file)) {}

 private:
  win32::UniqueFile file_;
};

}  // namespace

// Another holder's open gives a sharing violation; while the file waits to be deleted
// after its holder closed it, "access denied". A link planted at the name is opened
// itself (never its target): a symbolic link, or a file with another name too, is
// refused, and the close deletes only that name, never the content it leads to.
std::unique_ptr<LockFile> TakeLockFile(const std::filesystem::path& path, bool& busy,
                                       unsigned long& error) {
  win32::UniqueFile file(CreateFileW(
      path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
      FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  error = file ? 0 : GetLastError();
  busy = false;
  if (file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.get(), &info)) {
      error = GetLastError();
      return nullptr;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || info.nNumberOfLinks > 1) {
      error = ERROR_CANT_ACCESS_FILE;
      return nullptr;
    }
    return std::make_unique<WinLockFile>(std::move(file));
  }
  busy = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
  if (error == ERROR_ACCESS_DENIED) {
    // A file waiting to be deleted cannot even be asked about.
    busy = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES ||
           GetLastError() == ERROR_ACCESS_DENIED;
  }
  return nullptr;
}

}  // namespace platform
