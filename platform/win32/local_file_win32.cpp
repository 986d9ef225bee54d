#include <windows.h>

#include <array>
#include <fstream>
#include <utility>

#include "platform/local_file.h"
#include "platform/win32/win32_handles.h"

namespace platform {

namespace {

class DiskFile final : public LocalFile {
 public:
  bool Open(const std::filesystem::path& path) {
    // A larger buffer than the default keeps the 256-byte chunks from each costing
    // a system call.
    out_.rdbuf()->pubsetbuf(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    out_.open(path, std::ios::out | std::ios::binary | std::ios::trunc);
    return out_.is_open();
  }

  ~DiskFile() override { Close(); }

  bool Write(const char* data, std::size_t size) override {
    if (!out_.is_open()) return false;
    out_.write(data, static_cast<std::streamsize>(size));
    return !out_.fail();
  }

  bool Close() override {
    if (!out_.is_open()) return true;
    bool good = !out_.fail();
    out_.close();
    return good && !out_.fail();
  }

 private:
  std::array<char, 64 * 1024> buffer_{};
  std::ofstream out_;
};

}  // namespace

std::unique_ptr<LocalFile> CreateLocalFile(const std::filesystem::path& path) {
  auto file = std::make_unique<DiskFile>();
  return file->Open(path) ? std::move(file) : nullptr;
}

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

}  // namespace platform
