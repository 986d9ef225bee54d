#include "platform/run_folders.h"

#include <chrono>
#include <fstream>
#include <string>
#include <system_error>

namespace platform {

namespace {

constexpr char kLockName[] = ".vlrupdate-run.lock";
// Made once the lock is held. Windows deletes the lock file of a killed run with its
// handle, so the marker is what shows that a run once held the folder.
constexpr char kMarkerName[] = ".vlrupdate-run";
// A run folder whose run has ended takes this ending before it is emptied: a removal
// cut short (a power cut, a kill) then leaves a name the next sweep removes whatever
// is left in it. Run folders' own names never hold a dot.
constexpr char kEndedSuffix[] = ".ended";

// Renames `folder` to its ended name, then removes it with what it holds.
void RemoveEnded(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::path ended = folder;
  if (!folder.filename().string().ends_with(kEndedSuffix)) {
    ended += kEndedSuffix;
    std::filesystem::rename(folder, ended, ec);
    if (ec) return;  // another run's sweep took it first, or it cannot go now
  }
  std::filesystem::remove_all(ended, ec);
}

// True for an entry of `base` that is some other run's folder, not a link to one.
bool IsOtherRunFolder(const std::filesystem::directory_entry& entry,
                      const std::filesystem::path& own) {
  std::error_code ec;
  const std::string name = entry.path().filename().string();
  if (!name.starts_with(kRunFolderPrefix)) return false;
  if (!std::filesystem::is_directory(entry.symlink_status(ec)) || ec) return false;
  return !std::filesystem::equivalent(entry.path(), own, ec) || ec;
}

bool HasMarker(const std::filesystem::path& folder) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(folder / kMarkerName, ec));
}

// True when `folder` has no marker and was last written more than a day ago.
bool AbandonedWithoutMarker(const std::filesystem::path& folder) {
  std::error_code ec;
  if (HasMarker(folder)) return false;
  const auto written = std::filesystem::last_write_time(folder, ec);
  if (ec) return false;
  return std::filesystem::file_time_type::clock::now() - written > std::chrono::hours(24);
}

}  // namespace

std::unique_ptr<LockFile> HoldRunFolder(const std::filesystem::path& folder) {
  bool busy = false;
  unsigned long error = 0;
  try {
    std::unique_ptr<LockFile> lock = TakeLockFile(folder / kLockName, busy, error);
    if (lock) std::ofstream(folder / kMarkerName, std::ios::binary);
    return lock;
  } catch (...) {
    return nullptr;
  }
}

void RemoveStaleRunFolders(const std::filesystem::path& base, const std::filesystem::path& own) {
  try {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(base, ec)) {
      if (!IsOtherRunFolder(entry, own)) continue;
      if (entry.path().filename().string().ends_with(kEndedSuffix)) {
        RemoveEnded(entry.path());
        continue;
      }
      // A folder without its marker may be a run's that has not taken its lock yet.
      bool stale = AbandonedWithoutMarker(entry.path());
      if (!stale && HasMarker(entry.path())) {
        bool busy = false;
        unsigned long error = 0;
        // Taken and let go at once: the run that held it is gone, and nobody resumes it.
        stale = TakeLockFile(entry.path() / kLockName, busy, error) != nullptr;
      }
      if (stale) RemoveEnded(entry.path());
    }
  } catch (...) {
    // What cannot be looked at or removed now is left for a later run.
  }
}

void EndRunFolder(const std::filesystem::path& folder, std::unique_ptr<LockFile>& lock) {
  try {
    lock.reset();  // a folder with an open file in it cannot be renamed on Windows
    RemoveEnded(folder);
  } catch (...) {
    // Left for the next run's sweep: its marker is there, its lock free.
  }
}

}  // namespace platform
