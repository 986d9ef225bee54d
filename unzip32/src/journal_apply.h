// Applying a commit journal (commit_journal.h): the one way the folders a commit needs
// are made and its staged files put in place, whether the commit is running or is
// finished by RecoverFolder after an interruption. No step follows a link: every
// folder on a path below the extraction folder must be a real one.
//
// Between steps the journal always holds: for each of its files, either the staged
// file is there with the new content (the target holds the old file, or nothing when
// it had none), or it is gone and the target holds the new content. Applying it again
// from any point therefore finishes the commit.
#pragma once

#include <vector>

#include "commit_journal.h"
#include "os/file_system.h"
#include "status.h"

namespace uz32 {

// What became of the old file at a target while the new one went in.
struct OldFile {
  bool existed = false;             // a file stood at the target
  NativeString kept;                // full path of a name that still holds it; empty: none
  std::vector<NativeString> names;  // every reserved name it got; removed after the commit
};

// What a step came to: its status, and what the caller decides by.
struct Applied {
  Status status;
  bool blocked = false;   // failed, and trying again cannot help
  bool made = false;      // MakeFolder: this call created the folder
  bool nameFree = false;  // the target was left with no file: applying again fills it
  bool ok() const { return status.ok(); }
};

class JournalApplier {
 public:
  JournalApplier(FileSystem& fs, NativeString folder) : fs_(fs), folder_(std::move(folder)) {}

  // Makes the folder `relative`, whose parents exist; an existing real folder will do.
  // made when this call created it. Fails with UNZIP_ERR_DISK_FULL, blocked when trying
  // again cannot help: a file or a link stands on the path.
  Applied MakeFolder(const NativeString& relative);

  // Puts the staged file over its target. Done at once when the staged file is gone
  // (it was put in place before an interruption). With old, the old file keeps a
  // second name for Undo where the volume has links. A file that can be renamed but
  // not replaced (a running program on Windows) is renamed aside first; any other
  // refusal is tried again a bounded number of times. Fails with UNZIP_ERR_DISK_FULL,
  // blocked when trying again cannot help (a link or file on the path, a folder at the
  // target, a target that reaches a file listed under another name); the target then
  // holds its old file, or, when even putting that back failed, no file (nameFree):
  // applying the journal again fills the name.
  Applied Place(const JournalFile& file, OldFile* old);

  // Takes back a Place(file, &old) that succeeded: the new file gets its staged name
  // again (so the journal can still finish the commit), then the old one replaces it
  // at the target in one step. Fails with UNZIP_ERR_DISK_FULL when it cannot (the old
  // file was not kept, or the system refuses); the target then holds the new file.
  Status Undo(const JournalFile& file, OldFile& old);

 private:
  Applied CheckParents(const NativeString& relative);
  Applied SetAsideAndMoveIn(const NativeString& staged, const NativeString& target,
                            const NativeString& relative, OldFile* old);
  template <class Step>
  Status Retried(Step step);

  FileSystem& fs_;
  NativeString folder_;
  unsigned long counter_ = 0;
};

}  // namespace uz32
