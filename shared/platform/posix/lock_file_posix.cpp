#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/lock_file.h"
#include "platform/posix/unique_fd.h"

namespace platform {

namespace {

constexpr mode_t kMode = 0644;

class PosixLockFile final : public LockFile {
 public:
  PosixLockFile(UniqueFd fd, std::filesystem::path path)
      : fd_(std::move(fd)), path_(std::move(path)) {}
  // Removed while still held: whoever opened it meanwhile finds it is no longer the
  // file at the path, and tries again.
  ~PosixLockFile() override { ::unlink(path_.c_str()); }

 private:
  UniqueFd fd_;
  std::filesystem::path path_;
};

}  // namespace

std::unique_ptr<LockFile> TakeLockFile(const std::filesystem::path& path, bool& busy,
                                       unsigned long& error) {
  busy = false;
  error = 0;
  for (int tries = 0; tries < 8; ++tries) {
    // Opened for reading, which flock needs no more than, and readable by all whatever
    // the umask: any user who works in the folder can take it after another user's run.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kMode));
    if (!fd) {
      error = static_cast<unsigned long>(errno);
      return nullptr;
    }
    struct stat made {};
    if (::fstat(fd.get(), &made) == 0 && made.st_uid == ::geteuid() &&
        (made.st_mode & 07777) != kMode) {
      ::fchmod(fd.get(), kMode);  // a file that stays unreadable to others only delays them
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
      busy = errno == EWOULDBLOCK;
      error = static_cast<unsigned long>(errno);
      return nullptr;
    }
    struct stat held {}, named {};
    if (::fstat(fd.get(), &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
        held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
      return std::make_unique<PosixLockFile>(std::move(fd), path);
    }
  }
  busy = true;  // taken and let go over and over: others are at work there
  return nullptr;
}

}  // namespace platform
