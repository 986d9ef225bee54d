#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/plain_file.h"
#include "platform/posix/unique_fd.h"

namespace platform {

namespace {

class PosixPlainFile final : public PlainFile {
 public:
  explicit PosixPlainFile(UniqueFd fd) : fd_(std::move(fd)) {}

  bool Read(void* buffer, std::size_t size, std::size_t& got) override {
    got = 0;
    ssize_t n;
    do {
      n = ::read(fd_.get(), buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return Failed();
    got = static_cast<std::size_t>(n);
    return true;
  }

  bool Write(const void* data, std::size_t size) override {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
      const ssize_t n = ::write(fd_.get(), at, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return n < 0 ? Failed() : Failed(ENOSPC);
      at += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  bool Seek(std::uint64_t offset) override {
    return ::lseek(fd_.get(), static_cast<off_t>(offset), SEEK_SET) >= 0 || Failed();
  }

  bool Close() override {
    if (!fd_) return true;
    return ::close(fd_.release()) == 0 || Failed();
  }

  unsigned long Error() const override { return error_; }

 private:
  bool Failed(int code = errno) {
    error_ = static_cast<unsigned long>(code);
    return false;
  }

  UniqueFd fd_;
  unsigned long error_ = 0;
};

}  // namespace

// A file made anew is never written through a link and never over a file someone else
// put there: a name that is taken fails the creation.
std::unique_ptr<PlainFile> OpenPlainFile(const std::filesystem::path& path, PlainFile::Mode mode,
                                         unsigned long& error) {
  int flags = O_RDONLY;
  mode_t access = 0666;
  switch (mode) {
    case PlainFile::Mode::kRead:
      break;
    case PlainFile::Mode::kHold:
      flags = O_RDONLY | O_NOFOLLOW;
      break;
    case PlainFile::Mode::kCreate:
      flags = O_RDWR | O_CREAT | O_TRUNC;
      break;
    case PlainFile::Mode::kCreateNew:
      flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
      access = 0600;
      break;
  }
  UniqueFd fd(::open(path.c_str(), flags | O_CLOEXEC, access));
  if (!fd) {
    error = static_cast<unsigned long>(errno);
    return nullptr;
  }
  return std::make_unique<PosixPlainFile>(std::move(fd));
}

}  // namespace platform
