// All-or-nothing replacement of files in one folder. Every member is first written to
// a staged file in the folder, through to the disk as it is closed; only when all are
// written are they listed in a flushed commit journal (commit_journal.h), and put in
// place by applying that journal (journal_apply.h), each replacing its old file in one
// step while a second name (a hard link) keeps the old content. A failure while moving puts back
// everything already moved; when even that cannot be done, the journal stays and the
// next RecoverFolder finishes the commit. An interruption (the process killed, the
// power cut) is finished by RecoverFolder in the same way.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "journal_apply.h"
#include "os/file_system.h"
#include "status.h"

namespace uz32 {

class Transaction {
 public:
  // Holds the folder (FileSystem::HoldFolder) for the transaction's life.
  Transaction(FileSystem& fs, NativeString folder);
  // Unless Commit ran: deletes every staged file.
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Creates a staged file in the folder, lets fill write the content, and finishes it
  // with stamp (through to the disk). On success the file waits to become targetName
  // at Commit, after every file staged or given a place before it. On failure the
  // staged file is gone and the failure (fill's, or UNZIP_ERR_DISK_FULL, also when
  // kReservedNameTries names are all taken) is returned.
  Status Stage(const NativeString& targetName, const FileStamp& stamp,
               const std::function<Status(OutputFile&)>& fill);

  // Staging in steps, for files written on other threads. Reserve gives a file that
  // is to become targetName its place in the commit's order, after every file staged
  // or given a place before; Create makes its staged file (failing as Stage does);
  // Finish finishes it with stamp, through to the disk; Drop gives the place up,
  // closing and deleting its file if it has one. A failed Create or Finish gives the
  // place up itself. Every place must be finished or given up before Commit. Create,
  // Finish and Drop may run on several threads at once, each on a place of its own,
  // beside Stage and Reserve on the thread that owns the transaction; Commit and the
  // destructor run once no other call does.
  using Place = size_t;
  Place Reserve(const NativeString& targetName);
  Status Create(Place place, std::unique_ptr<OutputFile>& file);
  Status Finish(Place place, std::unique_ptr<OutputFile> file, const FileStamp& stamp);
  void Drop(Place place, std::unique_ptr<OutputFile> file = nullptr);

  // Asks for the folder relative (to the transaction's folder; native separators) to
  // exist after Commit. Give parents before their children.
  void AddFolder(const NativeString& relative) { folders_.push_back(relative); }

  // The folders (relative) that Commit created, in creation order.
  const std::vector<NativeString>& createdFolders() const { return createdRelative_; }

  // Flushes the folder's names, writes and flushes the journal, then applies it: makes
  // the folders asked for and moves every staged file over its target, in the order
  // of their places. A place neither finished nor given up fails it at once
  // (UNZIP_ERR_SEVERE, nothing changed). On success removes the journal and the old
  // files' other names (a name still in use stays for the next RecoverFolder). On
  // failure, either
  //  - everything is taken back: every target holds its old file again, no staged
  //    file, journal or folder this commit made remains, and the failure is returned
  //    (UNZIP_ERR_DISK_FULL: a flush or the journal fails, a journal is in the way, a
  //    folder cannot be made or a link or file is in its way, a target is a folder,
  //    cannot be replaced or renamed, or reaches another file by a short name, no
  //    reserved name is free); or
  //  - taking back could not be finished: the journal and every file it needs stay,
  //    some targets hold new files and the others old ones, and the next RecoverFolder
  //    completes the commit; UNZIP_ERR_UNFINISHED, saying why.
  Status Commit();

 private:
  struct Staged {
    NativeString target;  // path relative to the folder
    NativeString name;    // the staged file's name in the folder; empty until created
    bool finished = false;
    OldFile old;
  };

  JournalFile Entry(const Staged& s) const { return JournalFile{s.name, s.target}; }
  Status WriteJournal();
  Status TakeBack(Status failure, size_t placed, JournalApplier& apply);
  void RemoveStaged();

  FileSystem& fs_;
  NativeString folder_;
  std::unique_ptr<FolderHold> hold_;  // every step stays below the folder, through no link
  std::mutex mutex_;                  // guards places_ and counter_ while files are staged
  std::map<Place, Staged> places_;    // in the commit's order
  Place nextPlace_ = 0;
  std::vector<Staged> staged_;        // at Commit: the files, in order
  std::vector<NativeString> folders_;           // relative, to exist after Commit
  std::vector<NativeString> createdRelative_;   // those Commit made
  NativeString journal_;  // full path
  unsigned long counter_ = 0;
  bool committed_ = false;  // Commit ran: the staged files are its business
};

}  // namespace uz32
