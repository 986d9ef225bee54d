#include <windows.h>

#include "platform/held_file.h"
#include "platform/win32/win32_handles.h"

namespace platform {

namespace {

class Win32HeldFile final : public HeldFile {
 public:
  explicit Win32HeldFile(win32::UniqueFile file) : file_(std::move(file)) {}

  bool Read(void* buffer, std::size_t size, std::size_t* got) override {
    *got = 0;
    DWORD n = 0;
    const DWORD ask = size > 0x100000 ? 0x100000 : static_cast<DWORD>(size);
    if (!ReadFile(file_.get(), buffer, ask, &n, nullptr)) return false;
    *got = n;
    return true;
  }

  bool Rewind() override {
    LARGE_INTEGER zero{};
    return SetFilePointerEx(file_.get(), zero, nullptr, FILE_BEGIN) != FALSE;
  }

 private:
  win32::UniqueFile file_;
};

}  // namespace

std::unique_ptr<HeldFile> HoldFile(const std::wstring& path) {
  // Read access, shared for reading only: a writer, a rename over it or a delete is
  // refused until the file is let go.
  win32::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return nullptr;
  return std::make_unique<Win32HeldFile>(std::move(file));
}

}  // namespace platform
