#include "folder_recovery.h"

#include <string>

#include "commit_journal.h"
#include "platform/platform_text.h"
#include "reserved_names.h"

namespace uz32 {
namespace {

constexpr uint64_t kLongestJournal = 256u << 20;

Status Unfinished(const NativeString& folder, const std::string& why) {
  return Status::Fail(UNZIP_ERR_DISK_FULL, "cannot finish the interrupted extraction in " +
                                               Utf8FromNative(folder) + ": " + why);
}

// Reads the journal at path into text. Fails (UNZIP_ERR_DISK_FULL) when it cannot.
Status ReadJournal(FileSystem& fs, const NativeString& folder, const NativeString& path,
                   std::string& text) {
  std::unique_ptr<ByteSource> source;
  if (!fs.OpenArchive(path, source).ok() || source->Size() > kLongestJournal) {
    return Unfinished(folder, "its journal cannot be read");
  }
  text.resize(static_cast<size_t>(source->Size()));
  if (!source->ReadAt(0, {reinterpret_cast<uint8_t*>(text.data()), text.size()}).ok()) {
    return Unfinished(folder, "its journal cannot be read");
  }
  return Status::Ok();
}

Status Fail(const std::string& why) { return Status::Fail(UNZIP_ERR_DISK_FULL, why); }

// Finishes a journal's commit. Fails with the first step that cannot be made.
class RollForward {
 public:
  RollForward(FileSystem& fs, const NativeString& folder) : fs_(fs), folder_(folder) {}

  Status Run(const Journal& journal) {
    for (const NativeString& relative : journal.folders) {
      if (Status s = MakeFolder(relative); !s.ok()) return s;
    }
    for (const JournalFile& file : journal.files) {
      if (Status s = MoveIn(file); !s.ok()) return s;
    }
    return Status::Ok();
  }

 private:
  Status MakeFolder(const NativeString& relative) {
    const NativeString path = JoinPath(folder_, relative);
    const PathType type = fs_.TypeOf(path);
    if (type == PathType::Folder && !fs_.IsLink(path)) return Status::Ok();
    if (type != PathType::Missing) {
      return Fail("a file or a link is in the way of " + Utf8FromNative(path));
    }
    return fs_.MakeFolder(path);
  }

  // A staged file that is gone was moved in before the interruption.
  Status MoveIn(const JournalFile& file) {
    const NativeString staged = JoinPath(folder_, file.staged);
    const NativeString target = JoinPath(folder_, file.target);
    const PathType stagedType = fs_.TypeOf(staged);
    if (stagedType == PathType::Missing) return Status::Ok();
    if (stagedType != PathType::File) return Fail(Utf8FromNative(staged) + " is not a file");
    switch (fs_.TypeOf(target)) {
      case PathType::Missing:
        return fs_.Rename(staged, target);
      case PathType::File:
        break;
      default:
        return Fail(Utf8FromNative(target) + " is not a file");
    }
    if (fs_.Replace(staged, target).ok()) return Status::Ok();
    // In use: the old file can still be renamed, and the next call deletes it.
    NativeString aside;
    if (Status s = FindAsidePath(fs_, folder_, file.target, counter_, aside); !s.ok()) return s;
    if (Status s = fs_.Rename(target, aside); !s.ok()) return s;
    return fs_.Rename(staged, target);
  }

  FileSystem& fs_;
  const NativeString& folder_;
  unsigned long counter_ = 0;
};

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

Status RecoverFolder(FileSystem& fs, const NativeString& folder) {
  const NativeString journalPath = JoinPath(folder, NativeFromAscii(kJournalNameAscii));
  const PathType journalType = fs.TypeOf(journalPath);
  if (journalType == PathType::File) {
    std::string text;
    if (Status s = ReadJournal(fs, folder, journalPath, text); !s.ok()) return s;
    if (const std::optional<Journal> journal = ParseJournal(text)) {
      if (Status s = RollForward(fs, folder).Run(*journal); !s.ok()) {
        return Unfinished(folder, s.message());
      }
    }
    if (!fs.Remove(journalPath)) return Unfinished(folder, "its journal cannot be removed");
  } else if (journalType != PathType::Missing) {
    return Unfinished(folder, Utf8FromNative(journalPath) + " is not a file");
  }
  ClearLeftovers(fs, folder);
  return Status::Ok();
}

}  // namespace uz32
