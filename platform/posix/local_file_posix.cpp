#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/local_file.h"

namespace platform {

namespace {

// The file is made anew, never through a link and never over a file someone else
// put there: a name that is taken fails the creation.
class DiskFile final : public LocalFile {
 public:
  bool Open(const std::filesystem::path& path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    return fd_ >= 0;
  }

  ~DiskFile() override { Close(); }

  bool Write(const char* data, std::size_t size) override {
    if (fd_ < 0 || failed_) return false;
    if (used_ + size > buffer_.size() && !Flush()) return false;
    if (size >= buffer_.size()) return WriteOut(data, size);
    std::memcpy(buffer_.data() + used_, data, size);
    used_ += size;
    return true;
  }

  bool Close() override {
    if (fd_ < 0) return true;
    bool good = Flush();
    if (::close(fd_) != 0) good = false;
    fd_ = -1;
    return good;
  }

 private:
  bool Flush() {
    if (failed_) return false;
    bool good = WriteOut(buffer_.data(), used_);
    used_ = 0;
    return good;
  }

  bool WriteOut(const char* data, std::size_t size) {
    while (size > 0) {
      ssize_t n = ::write(fd_, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failed_ = true;
        return false;
      }
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  std::array<char, 64 * 1024> buffer_{};
  std::size_t used_ = 0;
  int fd_ = -1;
  bool failed_ = false;
};

}  // namespace

std::unique_ptr<LocalFile> CreateLocalFile(const std::filesystem::path& path) {
  auto file = std::make_unique<DiskFile>();
  return file->Open(path) ? std::move(file) : nullptr;
}

bool FlushToDisk(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool flushed = ::fsync(fd) == 0;
  return ::close(fd) == 0 && flushed;
}

bool MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace platform
