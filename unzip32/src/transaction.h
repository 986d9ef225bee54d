// All-or-nothing replacement of files in one folder. Every member is first written to
// a temporary file beside its target; only when all are written are they flushed to the
// disk, listed in a flushed commit journal (commit_journal.h), and moved into place,
// each replacing its old file in one step while a second name (a hard link) keeps the
// old content; an old file that cannot be replaced (in use) is renamed aside first. A
// failure while moving puts back everything already moved; an interruption (the
// process killed, the power cut) is finished by RecoverFolder from the journal.
// Targets may lie in subfolders: the folders they need are made at commit, never
// through a link, and those this run made are removed again when the commit fails.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "reserved_names.h"
#include "status.h"

namespace uz32 {

class Transaction {
 public:
  // How many reserved names a temporary or set-aside file may try before the folder
  // counts as unusable.
  static constexpr int kReservedNameTries = uz32::kReservedNameTries;

  Transaction(FileSystem& fs, NativeString folder);
  // Unless Commit succeeded: deletes every staged temporary file.
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Creates a temporary file in the folder, lets fill write the content, and closes it
  // with stamp. On success the file waits to become targetName at Commit. On failure
  // the temporary file is gone and the failure (fill's, or UNZIP_ERR_DISK_FULL, also
  // when kReservedNameTries names are all taken) is returned.
  Status Stage(const NativeString& targetName, const FileStamp& stamp,
               const std::function<Status(OutputFile&)>& fill);

  size_t staged() const { return staged_.size(); }

  // Asks for the folder relative (to the transaction's folder; native separators) to
  // exist after Commit. Give parents before their children.
  void AddFolder(const NativeString& relative) { folders_.push_back(relative); }

  // The folders (relative) that Commit created, in creation order.
  const std::vector<NativeString>& createdFolders() const { return createdRelative_; }

  // Flushes every staged file, writes and flushes the journal, makes the folders asked
  // for (each missing one created; an existing one must be a real folder, not a link),
  // and moves every staged file over its target, in staging order; then removes the
  // journal. On success, old files that could not be deleted (in use) stay under a
  // reserved name for RecoverFolder. On failure (UNZIP_ERR_DISK_FULL: a flush or the
  // journal fails, a journal is already there, a folder cannot be made or a link or
  // file is in its way, a target is a folder, or cannot be renamed or replaced, no free
  // name to keep an old file under is found within kReservedNameTries, or a name cannot
  // be asked about) every target is back as it was, no temporary file or journal
  // remains and the folders this commit made are removed (when empty), as far as the
  // system lets the moves be undone; the message says when it did not.
  Status Commit();

 private:
  struct Staged {
    NativeString target;  // name in the folder
    NativeString temp;    // full path of the temporary file
    // Full paths of the reserved names the old file got (a link, or the name it was
    // renamed to); removed after the commit.
    std::vector<NativeString> asides;
    // The one of asides that holds the old file while the target name does not.
    NativeString oldAt;
    bool moved = false;  // temp has become the target
  };

  Status Fail(Status s);
  Status WriteJournal();
  Status MakeFolders();
  void RemoveCreatedFolders();
  Status MoveIntoPlace(Staged& s);
  std::string Undo(size_t count);
  void RemoveStaged();

  FileSystem& fs_;
  NativeString folder_;
  std::vector<Staged> staged_;
  std::vector<NativeString> folders_;           // relative, to exist after Commit
  std::vector<NativeString> createdRelative_;   // those Commit made
  NativeString journal_;  // full path
  unsigned long counter_ = 0;
  bool committed_ = false;
};

}  // namespace uz32
