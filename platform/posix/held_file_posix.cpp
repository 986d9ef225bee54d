#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/held_file.h"
#include "platform/text.h"
#include "platform/posix/unique_fd.h"

namespace platform {

namespace {

class PosixHeldFile final : public HeldFile {
 public:
  explicit PosixHeldFile(UniqueFd fd) : fd_(std::move(fd)) {}

  bool Read(void* buffer, std::size_t size, std::size_t* got) override {
    *got = 0;
    ssize_t n;
    do {
      n = ::read(fd_.get(), buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return false;
    *got = static_cast<std::size_t>(n);
    return true;
  }

  bool Rewind() override { return ::lseek(fd_.get(), 0, SEEK_SET) == 0; }

 private:
  UniqueFd fd_;
};

}  // namespace

std::unique_ptr<HeldFile> HoldFile(const std::wstring& path) {
  UniqueFd fd(::open(ToUtf8(path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd) return nullptr;
  return std::make_unique<PosixHeldFile>(std::move(fd));
}

}  // namespace platform
