#include "transaction.h"

#include "commit_journal.h"
#include "platform/platform_text.h"

namespace uz32 {

Transaction::Transaction(FileSystem& fs, NativeString folder)
    : fs_(fs),
      folder_(std::move(folder)),
      journal_(JoinPath(folder_, NativeFromAscii(kJournalNameAscii))) {}

Transaction::~Transaction() {
  if (!committed_) RemoveStaged();
}

Status Transaction::Stage(const NativeString& targetName, const FileStamp& stamp,
                          const std::function<Status(OutputFile&)>& fill) {
  std::unique_ptr<OutputFile> file;
  NativeString temp;
  for (int tries = 0;; ++tries) {
    if (tries == kReservedNameTries) {
      return Status::Fail(UNZIP_ERR_DISK_FULL, "cannot write into " + Utf8FromNative(folder_) +
                                                   ": no free temporary name");
    }
    temp = JoinPath(folder_, StagedName(counter_++));
    bool exists = false;
    const Status created = fs_.CreateNew(temp, file, exists);
    if (created.ok()) break;
    if (!exists) return created;
  }
  Status s = fill(*file);
  const Status finished = file->Finish(stamp);
  file.reset();
  if (s.ok()) s = finished;
  if (!s.ok()) {
    fs_.Remove(temp);
    return s;
  }
  staged_.push_back(Staged{targetName, temp, {}, {}, false});
  return Status::Ok();
}

Status Transaction::MoveIntoPlace(Staged& s) {
  const NativeString target = JoinPath(folder_, s.target);
  switch (fs_.TypeOf(target)) {
    case PathType::Missing:
      break;
    case PathType::File: {
      // A second name keeps the old content for an undo while the new file replaces
      // the old one in a single step.
      NativeString aside;
      if (Status r = FindAsidePath(fs_, folder_, s.target, counter_, aside); !r.ok()) return r;
      if (fs_.Link(target, aside)) {
        if (fs_.Replace(s.temp, target).ok()) {
          s.asides.push_back(aside);
          s.oldAt = aside;
          s.moved = true;
          return Status::Ok();
        }
        // Cannot be replaced (in use, read-only): the link is not needed, the file is
        // renamed aside to free its name. A link that cannot go (in use) stays with it.
        if (!fs_.Remove(aside)) {
          s.asides.push_back(aside);
          if (Status r = FindAsidePath(fs_, folder_, s.target, counter_, aside); !r.ok()) return r;
        }
      }
      if (Status r = fs_.Rename(target, aside); !r.ok()) {
        return Status::Fail(UNZIP_ERR_DISK_FULL, "cannot replace " + Utf8FromNative(target) +
                                                     " (" + r.message() + ")");
      }
      s.asides.push_back(aside);
      s.oldAt = aside;
      break;
    }
    default:
      return Status::Fail(UNZIP_ERR_DISK_FULL, "cannot replace " + Utf8FromNative(target) +
                                                   ": it is not a file");
  }
  if (Status r = fs_.Rename(s.temp, target); !r.ok()) return r;
  s.moved = true;
  return Status::Ok();
}

std::string Transaction::Undo(size_t count) {
  std::string problems;
  for (size_t i = count; i-- > 0;) {
    Staged& s = staged_[i];
    const NativeString target = JoinPath(folder_, s.target);
    if (s.moved) {
      // Back to its temporary name, so RemoveStaged deletes it with the others.
      if (fs_.Rename(target, s.temp).ok()) {
        s.moved = false;
      } else {
        problems += " " + Utf8FromNative(target) + " could not be taken back;";
        continue;
      }
    }
    if (!s.oldAt.empty()) {
      if (!fs_.Rename(s.oldAt, target).ok()) {
        problems += " the old " + Utf8FromNative(target) + " is left as " +
                    Utf8FromNative(s.oldAt) + ";";
        continue;
      }
      std::erase(s.asides, s.oldAt);
      s.oldAt.clear();
    }
    // The old file is under its own name again: its other names go.
    for (const NativeString& aside : s.asides) fs_.Remove(aside);
    s.asides.clear();
  }
  return problems;
}

void Transaction::RemoveStaged() {
  for (const Staged& s : staged_) {
    if (!s.moved) fs_.Remove(s.temp);
  }
}

Status Transaction::WriteJournal() {
  Journal journal;
  journal.folders = folders_;
  std::vector<NativeString> temps;
  for (const Staged& s : staged_) {
    const size_t slash = s.temp.find_last_of(NativeFromAscii("/\\"));
    journal.files.push_back(JournalFile{s.temp.substr(slash + 1), s.target});
    temps.push_back(s.temp);
  }
  // The staged files are whole on the disk before a journal says they are.
  if (Status s = fs_.Flush(temps, folder_); !s.ok()) return s;
  std::unique_ptr<OutputFile> file;
  bool exists = false;
  if (Status s = fs_.CreateNew(journal_, file, exists); !s.ok()) {
    if (!exists) return s;
    return Status::Fail(UNZIP_ERR_DISK_FULL, "cannot write into " + Utf8FromNative(folder_) +
                                                 ": an interrupted extraction is not finished");
  }
  const std::string text = FormatJournal(journal);
  Status s = file->Write({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
  const Status finished = file->Finish(FileStamp{});
  file.reset();
  if (s.ok()) s = finished;
  if (s.ok()) s = fs_.Flush({journal_}, folder_);
  if (!s.ok()) fs_.Remove(journal_);
  return s;
}

Status Transaction::MakeFolders() {
  for (const NativeString& relative : folders_) {
    const NativeString path = JoinPath(folder_, relative);
    const PathType type = fs_.TypeOf(path);
    if (type == PathType::Folder && !fs_.IsLink(path)) continue;
    if (type != PathType::Missing) {
      return Status::Fail(UNZIP_ERR_DISK_FULL,
                          "cannot make the folder " + Utf8FromNative(path) +
                              ": a file or a link is in the way (links are not followed)");
    }
    if (Status s = fs_.MakeFolder(path); !s.ok()) return s;
    createdRelative_.push_back(relative);
  }
  return Status::Ok();
}

void Transaction::RemoveCreatedFolders() {
  for (size_t i = createdRelative_.size(); i-- > 0;) {
    fs_.RemoveEmptyFolder(JoinPath(folder_, createdRelative_[i]));
  }
  createdRelative_.clear();
}

// Before a failed commit returns: nothing is left for the destructor to do.
Status Transaction::Fail(Status s) {
  RemoveStaged();
  RemoveCreatedFolders();
  committed_ = true;
  return s;
}

Status Transaction::Commit() {
  const bool journaled = !staged_.empty();
  if (journaled) {
    if (Status s = WriteJournal(); !s.ok()) return Fail(s);
  }
  if (Status s = MakeFolders(); !s.ok()) {
    if (journaled) fs_.Remove(journal_);
    return Fail(s);
  }
  for (size_t i = 0; i < staged_.size(); ++i) {
    Status s = MoveIntoPlace(staged_[i]);
    if (!s.ok()) {
      const std::string problems = Undo(i + 1);
      // Undone (as far as it goes): the staged files are no commit to finish any more.
      fs_.Remove(journal_);
      if (!problems.empty()) {
        return Fail(Status::Fail(s.code(), s.message() + "; undoing failed:" + problems));
      }
      return Fail(s);
    }
  }
  committed_ = true;
  if (journaled) fs_.Remove(journal_);
  for (const Staged& s : staged_) {
    for (const NativeString& aside : s.asides) fs_.Remove(aside);  // in use: stays for later
  }
  return Status::Ok();
}

}  // namespace uz32
