#include "platform/run_folder.h"

#include <string>
#include <system_error>

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr char kRunLockName[] = ".vlrupdate-run.lock";

}  // namespace

std::unique_ptr<LockFile> HoldRunFolder(const fs::path& folder) {
  bool busy = false;
  unsigned long error = 0;
  return TakeLockFile(folder / kRunLockName, busy, error);
}

void ClearRunFolder(const fs::path& folder, std::unique_ptr<LockFile>& lock) {
  try {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code ignored;
      if (it->path().filename() != kRunLockName) fs::remove_all(it->path(), ignored);
    }
    lock.reset();  // the lock file goes as it is let go
    fs::remove_all(folder, ec);
  } catch (...) {
    lock.reset();
  }
}

void RemoveAbandonedRunFolders(const fs::path& base, const fs::path& own) {
  try {
    const std::u8string prefix(kRunFolderPrefix, kRunFolderPrefix + sizeof kRunFolderPrefix - 1);
    std::error_code ec;
    for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
      const fs::path folder = it->path();
      std::error_code e;
      if (folder.filename().u8string().rfind(prefix, 0) != 0 || fs::equivalent(folder, own, e) ||
          !it->is_directory(e) || it->is_symlink(e)) {
        continue;
      }
      if (fs::is_empty(folder, e)) {
        fs::remove(folder, e);  // only while it is still empty
        continue;
      }
      if (!fs::exists(folder / kRunLockName, e)) continue;
      bool busy = false;
      unsigned long error = 0;
      if (std::unique_ptr<LockFile> held = TakeLockFile(folder / kRunLockName, busy, error)) {
        ClearRunFolder(folder, held);
      }
    }
  } catch (...) {
    // A folder that cannot be looked at stays for a later run.
  }
}

}  // namespace platform
