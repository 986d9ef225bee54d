// A lock file: held by one process at a time, also against processes on other machines
// that share the folder, and let go when its holder releases it or ends, however it
// ends.
#pragma once

#include <filesystem>
#include <memory>

namespace platform {

class LockFile {
 public:
  virtual ~LockFile() = default;  // lets go; the file goes too
};

// Takes the lock file at `path`, made if missing (Windows: opened without sharing and
// deleted once closed; Linux: an flock on a file any user may open, mode 0644 whatever
// the umask, removed as it is let go). A link planted at `path` is refused, never
// followed nor deleted through. Null when it cannot: `busy` then says another holder has
// it; otherwise `error` is the system's error code (errno, GetLastError).
std::unique_ptr<LockFile> TakeLockFile(const std::filesystem::path& path, bool& busy,
                                       unsigned long& error);

}  // namespace platform
