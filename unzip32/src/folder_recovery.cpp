#include "folder_recovery.h"

#include <filesystem>
#include <string>

#include "commit_journal.h"
#include "journal_apply.h"
#include "os/platform_text.h"
#include "platform/system_error_text.h"
#include "reserved_names.h"

namespace uz32 {
namespace {

// How long an extraction waits for another one in the same folder: 100 waits of this.
constexpr unsigned kLockWaitMs = 100;
constexpr int kLockWaits = 100;

Status Unfinished(const NativeString& folder, const std::string& why) {
  return Status::Fail(UNZIP_ERR_UNFINISHED, "cannot finish the interrupted extraction in " +
                                                Utf8FromNative(folder) + ": " + why);
}

// Reads the journal at path into text; false when it cannot be read. A journal longer
// than any commit of this library writes is read as empty (damaged).
bool ReadJournal(FileSystem& fs, const NativeString& path, std::string& text) {
  std::unique_ptr<ByteSource> source;
  if (!fs.OpenArchive(path, source).ok()) return false;
  if (source->Size() > kLongestJournal) {
    text.clear();
    return true;
  }
  text.resize(static_cast<size_t>(source->Size()));
  return source->ReadAt(0, {reinterpret_cast<uint8_t*>(text.data()), text.size()}).ok();
}

// Applies the journal at path and removes it. Fails (UNZIP_ERR_UNFINISHED) when a step
// cannot be made now; the journal then stays.
Status FinishCommit(FileSystem& fs, const NativeString& folder, const NativeString& path) {
  std::string text;
  if (!ReadJournal(fs, path, text)) return Unfinished(folder, "its journal cannot be read");
  if (const std::optional<Journal> journal = ParseJournal(text)) {
    JournalApplier apply(fs, folder);
    // A blocked entry is left out; what lies below a blocked folder is refused in turn.
    for (const NativeString& relative : journal->folders) {
      if (const Applied a = apply.MakeFolder(relative); !a.ok() && !a.blocked) {
        return Unfinished(folder, a.status.message());
      }
    }
    for (const JournalFile& file : journal->files) {
      if (const Applied a = apply.Place(file, nullptr); !a.ok() && !a.blocked) {
        return Unfinished(folder, a.status.message());
      }
    }
  }
  if (!fs.Remove(path)) return Unfinished(folder, "its journal cannot be removed");
  return Status::Ok();
}

// Deletes staged files and aside files, or puts an aside file back where its target
// is missing.
void ClearLeftovers(FileSystem& fs, const NativeString& folder) {
  for (const NativeString& name : fs.ListFolder(folder)) {
    const ReservedKind kind = KindOf(name);
    if (kind == ReservedKind::None) continue;
    const NativeString path = JoinPath(folder, name);
    if (fs.TypeOf(path) != PathType::File) continue;
    if (kind == ReservedKind::Aside) {
      if (const std::optional<NativeString> target = AsideTarget(name)) {
        const NativeString targetPath = JoinPath(folder, *target);
        if (fs.TypeOf(targetPath) == PathType::Missing) {
          fs.Rename(path, targetPath);  // failing that, it stays for a later call
          continue;
        }
      }
    }
    fs.Remove(path);
  }
}

}  // namespace

Status LockFolder(FileSystem& fs, const NativeString& folder,
                  std::unique_ptr<platform::LockFile>& held) {
  const NativeString path = JoinPath(folder, NativeFromAscii(kLockNameAscii));
  for (int waits = 0;; ++waits) {
    bool busy = false;
    unsigned long error = 0;
    held = platform::TakeLockFile(std::filesystem::path(path), busy, error);
    if (held) return Status::Ok();
    if (!busy) {
      return Status::Fail(UNZIP_ERR_DISK_FULL, "cannot write " + Utf8FromNative(path) + ": " +
                                                   platform::SystemErrorText(error));
    }
    if (waits == kLockWaits) {
      return Status::Fail(UNZIP_ERR_FOLDER_BUSY,
                          "cannot work in " + Utf8FromNative(folder) +
                              ": another extraction there has not ended for " +
                              std::to_string(kLockWaits * kLockWaitMs / 1000) + " seconds");
    }
    fs.Pause(kLockWaitMs);
  }
}

Status RecoverFolder(FileSystem& fs, const NativeString& folder) {
  const std::unique_ptr<FolderHold> hold = fs.HoldFolder(folder);
  const NativeString journal = JoinPath(folder, NativeFromAscii(kJournalNameAscii));
  switch (fs.TypeOf(journal)) {
    case PathType::Missing:
      break;
    case PathType::File:
      if (Status s = FinishCommit(fs, folder, journal); !s.ok()) return s;
      break;
    case PathType::Folder:
      // Not a journal of ours: an empty one goes; one with content stays in the way of
      // the next commit, which then says so.
      fs.RemoveEmptyFolder(journal);
      break;
    case PathType::Other:
      return Unfinished(folder, "its journal cannot be asked about");
  }
  ClearLeftovers(fs, folder);
  return Status::Ok();
}

}  // namespace uz32
