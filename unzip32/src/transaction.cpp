#include "transaction.h"

#include "commit_journal.h"
#include "os/platform_text.h"
#include "reserved_names.h"

namespace uz32 {

Transaction::Transaction(FileSystem& fs, NativeString folder)
    : fs_(fs),
      folder_(std::move(folder)),
      hold_(fs_.HoldFolder(folder_)),
      journal_(JoinPath(folder_, NativeFromAscii(kJournalNameAscii))) {}

Transaction::~Transaction() {
  if (!committed_) RemoveStaged();
}

Status Transaction::Stage(const NativeString& targetName, const FileStamp& stamp,
                          const std::function<Status(OutputFile&)>& fill) {
  const Place place = Reserve(targetName);
  std::unique_ptr<OutputFile> file;
  if (Status s = Create(place, file); !s.ok()) return s;
  if (Status s = fill(*file); !s.ok()) {
    Drop(place, std::move(file));
    return s;
  }
  return Finish(place, std::move(file), stamp);
}

Transaction::Place Transaction::Reserve(const NativeString& targetName) {
  const std::lock_guard<std::mutex> hold(mutex_);
  places_[nextPlace_].target = targetName;
  return nextPlace_++;
}

Status Transaction::Create(Place place, std::unique_ptr<OutputFile>& file) {
  for (int tries = 0;; ++tries) {
    if (tries == kReservedNameTries) {
      Drop(place);
      return Status::Fail(UNZIP_ERR_DISK_FULL, "cannot write into " + Utf8FromNative(folder_) +
                                                   ": no free temporary name");
    }
    NativeString name;
    {
      const std::lock_guard<std::mutex> hold(mutex_);
      name = StagedName(counter_++);
    }
    bool exists = false;
    const Status created = fs_.CreateNew(JoinPath(folder_, name), file, exists);
    if (created.ok()) {
      const std::lock_guard<std::mutex> hold(mutex_);
      places_[place].name = std::move(name);
      return created;
    }
    if (!exists) {
      Drop(place);
      return created;
    }
  }
}

Status Transaction::Finish(Place place, std::unique_ptr<OutputFile> file, const FileStamp& stamp) {
  const Status finished = file->Finish(stamp);
  if (!finished.ok()) {
    Drop(place, std::move(file));
    return finished;
  }
  const std::lock_guard<std::mutex> hold(mutex_);
  places_[place].finished = true;
  return finished;
}

void Transaction::Drop(Place place, std::unique_ptr<OutputFile> file) {
  file.reset();  // closed before it is deleted: Windows deletes no open file
  NativeString name;
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    const auto it = places_.find(place);
    if (it == places_.end()) return;
    name = std::move(it->second.name);
    places_.erase(it);
  }
  if (!name.empty()) fs_.Remove(JoinPath(folder_, name));
}

void Transaction::RemoveStaged() {
  for (const Staged& s : staged_) fs_.Remove(JoinPath(folder_, s.name));
  for (const auto& [place, s] : places_) {
    if (!s.name.empty()) fs_.Remove(JoinPath(folder_, s.name));
  }
}

Status Transaction::WriteJournal() {
  Journal journal;
  journal.folders = folders_;
  for (const Staged& s : staged_) journal.files.push_back(Entry(s));
  const std::string text = FormatJournal(journal);
  // A recovery would take a longer one for damaged: no commit without a journal it reads.
  if (text.size() > kLongestJournal) {
    return Status::Fail(UNZIP_ERR_UNSUPPORTED, "cannot write into " + Utf8FromNative(folder_) +
                                                   ": too many members or names too long "
                                                   "for one commit");
  }
  // The staged files are whole on the disk (each was flushed as it was finished);
  // their names are too before a journal says they are there.
  if (Status s = fs_.FlushFolder(folder_); !s.ok()) return s;
  std::unique_ptr<OutputFile> file;
  bool exists = false;
  if (Status s = fs_.CreateNew(journal_, file, exists); !s.ok()) {
    if (!exists) return s;
    return Status::Fail(UNZIP_ERR_DISK_FULL, "cannot write into " + Utf8FromNative(folder_) +
                                                 ": " + Utf8FromNative(journal_) +
                                                 " is in the way");
  }
  Status s = file->Write({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
  const Status finished = file->Finish(FileStamp{});
  file.reset();
  if (s.ok()) s = finished;
  if (s.ok()) s = fs_.FlushFolder(folder_);
  if (!s.ok()) fs_.Remove(journal_);
  return s;
}

Status Transaction::Commit() {
  for (const auto& [place, s] : places_) {
    if (!s.finished) return Status::Fail(UNZIP_ERR_SEVERE, "a member was not staged whole");
  }
  committed_ = true;
  for (auto& [place, s] : places_) staged_.push_back(std::move(s));
  places_.clear();
  const bool journaled = !staged_.empty();
  if (journaled) {
    if (Status s = WriteJournal(); !s.ok()) {
      RemoveStaged();
      return s;
    }
  }
  JournalApplier apply(fs_, folder_);
  for (const NativeString& relative : folders_) {
    const Applied a = apply.MakeFolder(relative);
    if (a.made) createdRelative_.push_back(relative);
    if (!a.ok()) return TakeBack(a.status, 0, apply);
  }
  for (size_t i = 0; i < staged_.size(); ++i) {
    if (Applied a = apply.Place(Entry(staged_[i]), &staged_[i].old); !a.ok()) {
      return TakeBack(a.status, i, apply);
    }
  }
  // Done: a journal that outlives this (it cannot be removed) finds nothing to do.
  if (journaled) fs_.Remove(journal_);
  for (const Staged& s : staged_) {
    for (const NativeString& name : s.old.names) fs_.Remove(name);  // in use: stays for later
  }
  // A success is new files that outlast a power cut, not a journal the next start
  // finishes: the names changed are written through too. The files are in place, so a
  // flush that fails changes nothing of the result.
  if (journaled) fs_.FlushFolder(folder_);
  return Status::Ok();
}

// The commit failed at staged_[placed]; those before it are in place. Each goes back,
// last first, and only once all are back does the journal go: until then applying it
// would still finish the commit.
Status Transaction::TakeBack(Status failure, size_t placed, JournalApplier& apply) {
  std::string stuck;
  if (placed < staged_.size() && staged_[placed].old.existed &&
      fs_.TypeOf(JoinPath(folder_, staged_[placed].target)) == PathType::Missing) {
    stuck = "the name is free, and only the new file can fill it";
  }
  for (size_t i = placed; stuck.empty() && i-- > 0;) {
    if (Status s = apply.Undo(Entry(staged_[i]), staged_[i].old); !s.ok()) stuck = s.message();
  }
  if (stuck.empty() && !staged_.empty() && !fs_.Remove(journal_)) {
    stuck = "its journal cannot be removed";
  }
  if (!stuck.empty()) {
    return Status::Fail(UNZIP_ERR_UNFINISHED,
                        failure.message() + "; taking the commit back failed too (" + stuck + ")");
  }
  RemoveStaged();
  for (const Staged& s : staged_) {
    for (const NativeString& name : s.old.names) fs_.Remove(name);
  }
  for (size_t i = createdRelative_.size(); i-- > 0;) {
    fs_.RemoveEmptyFolder(JoinPath(folder_, createdRelative_[i]));
  }
  createdRelative_.clear();
  return failure;
}

}  // namespace uz32
