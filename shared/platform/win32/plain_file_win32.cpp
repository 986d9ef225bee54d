#include <windows.h>

#include "platform/plain_file.h"
#include "platform/win32/kernel_handles.h"

namespace platform {

namespace {

class Win32PlainFile final : public PlainFile {
 public:
  explicit Win32PlainFile(win32::UniqueFile file) : file_(std::move(file)) {}

  bool Read(void* buffer, std::size_t size, std::size_t& got) override {
    got = 0;
    DWORD n = 0;
    const DWORD ask = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!ReadFile(file_.get(), buffer, ask, &n, nullptr)) return Failed();
    got = n;
    return true;
  }

  bool Write(const void* data, std::size_t size) override {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
      const DWORD ask = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
      DWORD put = 0;
      if (!WriteFile(file_.get(), at, ask, &put, nullptr)) return Failed();
      if (put == 0) return Failed(ERROR_DISK_FULL);
      at += put;
      size -= put;
    }
    return true;
  }

  bool Seek(std::uint64_t offset) override {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file_.get(), to, nullptr, FILE_BEGIN) != FALSE || Failed();
  }

  bool Close() override {
    if (!file_) return true;
    return CloseHandle(file_.release()) != FALSE || Failed();
  }

  unsigned long Error() const override { return error_; }

 private:
  bool Failed(DWORD code = GetLastError()) {
    error_ = code;
    return false;
  }

  win32::UniqueFile file_;
  unsigned long error_ = 0;
};

}  // namespace

std::unique_ptr<PlainFile> OpenPlainFile(const std::filesystem::path& path, PlainFile::Mode mode,
                                         unsigned long& error) {
  DWORD access = GENERIC_READ;
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  DWORD disposition = OPEN_EXISTING;
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  switch (mode) {
    case PlainFile::Mode::kRead:
      break;
    case PlainFile::Mode::kHold:
      // Shared for reading only: a writer, a rename over it or a delete is refused
      // until the file is let go.
      share = FILE_SHARE_READ;
      flags = FILE_FLAG_SEQUENTIAL_SCAN;
      break;
    case PlainFile::Mode::kCreate:
    case PlainFile::Mode::kCreateNew:
      access = mode == PlainFile::Mode::kCreate ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
      disposition = CREATE_ALWAYS;
      break;
  }
  win32::UniqueFile file(
      CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr));
  if (!file) {
    error = GetLastError();
    return nullptr;
  }
  return std::make_unique<Win32PlainFile>(std::move(file));
}

}  // namespace platform
