#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_replacement.h"
#include "platform/posix/unique_fd.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

void Give(const fs::path& p, const struct stat& s, mode_t mode) {
  if (chown(p.c_str(), s.st_uid, s.st_gid) != 0 &&
      chown(p.c_str(), static_cast<uid_t>(-1), s.st_gid) != 0) {
    // Neither is ours to give: it keeps this process's owner and group.
  }
  chmod(p.c_str(), mode);
}

}  // namespace

void TakeAccessOf(const fs::path& old, const fs::path& fresh) {
  struct stat s {};
  if (stat(old.c_str(), &s) != 0) return;
  std::error_code ec;
  if (!fs::is_directory(fresh, ec)) {
    Give(fresh, s, s.st_mode & 0666);
    return;
  }
  for (fs::directory_iterator it(fresh, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec)) Give(it->path(), s, s.st_mode & 0666);
  }
  Give(fresh, s, s.st_mode & 07777);
}

bool FlushToDisk(const fs::path& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  return fd && ::fsync(fd.get()) == 0 && ::close(fd.release()) == 0;
}

bool MoveIntoPlace(const fs::path& from, const fs::path& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool ExchangeFolders(const fs::path& a, const fs::path& b, bool& unsupported,
                     std::error_code& ec) {
#if defined(__linux__) && defined(RENAME_EXCHANGE)
  if (renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) return true;
  unsupported = errno == EINVAL || errno == ENOSYS || errno == ENOTSUP || errno == EOPNOTSUPP;
  ec = std::error_code(errno, std::generic_category());
  return false;
#else
  (void)a;
  (void)b;
  (void)ec;
  unsupported = true;
  return false;
#endif
}

}  // namespace platform
