#include "transaction.h"

#include "name_safety.h"
#include "platform/platform_text.h"

namespace uz32 {
namespace {

bool IsLeftover(const NativeString& name) {
  const NativeString prefix = NativeFromAscii(kReservedPrefixAscii);
  const NativeString tmp = NativeFromAscii(".tmp");
  const NativeString old = NativeFromAscii(".old");
  auto endsWith = [&](const NativeString& suffix) {
    return name.size() >= suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
  };
  return name.size() > prefix.size() + 4 && name.compare(0, prefix.size(), prefix) == 0 &&
         (endsWith(tmp) || endsWith(old));
}

}  // namespace

Transaction::Transaction(FileSystem& fs, NativeString folder)
    : fs_(fs), folder_(std::move(folder)) {}

Transaction::~Transaction() {
  if (!committed_) RemoveStaged();
}

void Transaction::RemoveLeftovers() {
  for (const NativeString& name : fs_.ListFolder(folder_)) {
    const NativeString path = JoinPath(folder_, name);
    if (IsLeftover(name) && fs_.TypeOf(path) == PathType::File) fs_.Remove(path);
  }
}

NativeString Transaction::ReservedPath(const char* suffix) {
  const std::string name = std::string(kReservedPrefixAscii) + std::to_string(CurrentProcessId()) + "-" +
                           std::to_string(counter_++) + suffix;
  return JoinPath(folder_, NativeFromAscii(name));
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
    temp = ReservedPath(".tmp");
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
  staged_.push_back(Staged{targetName, temp, {}, false});
  return Status::Ok();
}

Status Transaction::MoveIntoPlace(Staged& s) {
  const NativeString target = JoinPath(folder_, s.target);
  switch (fs_.TypeOf(target)) {
    case PathType::Missing:
      break;
    case PathType::File: {
      // A name taken by a file or folder is passed over; anything else (the share
      // gone, access denied) fails the commit rather than being asked about forever.
      NativeString aside;
      for (int tries = 0; aside.empty(); ++tries) {
        NativeString candidate = ReservedPath(".old");
        const PathType type = tries < kReservedNameTries ? fs_.TypeOf(candidate) : PathType::Other;
        if (type == PathType::Missing) {
          aside = std::move(candidate);
        } else if (type == PathType::Other) {
          return Status::Fail(UNZIP_ERR_DISK_FULL, "cannot replace " + Utf8FromNative(target) +
                                                       ": no name to set the old file aside");
        }
      }
      if (Status r = fs_.Rename(target, aside); !r.ok()) {
        return Status::Fail(UNZIP_ERR_DISK_FULL, "cannot replace " + Utf8FromNative(target) +
                                                     " (" + r.message() + ")");
      }
      s.aside = aside;
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
    if (!s.aside.empty()) {
      if (fs_.Rename(s.aside, target).ok()) {
        s.aside.clear();
      } else {
        problems += " the old " + Utf8FromNative(target) + " is left as " +
                    Utf8FromNative(s.aside) + ";";
      }
    }
  }
  return problems;
}

void Transaction::RemoveStaged() {
  for (const Staged& s : staged_) {
    if (!s.moved) fs_.Remove(s.temp);
  }
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

Status Transaction::Commit() {
  if (Status s = MakeFolders(); !s.ok()) {
    RemoveCreatedFolders();
    RemoveStaged();
    committed_ = true;  // nothing is left for the destructor to do
    return s;
  }
  for (size_t i = 0; i < staged_.size(); ++i) {
    Status s = MoveIntoPlace(staged_[i]);
    if (!s.ok()) {
      const std::string problems = Undo(i + 1);
      RemoveStaged();
      RemoveCreatedFolders();
      committed_ = true;  // nothing is left for the destructor to do
      if (!problems.empty()) {
        return Status::Fail(s.code(), s.message() + "; undoing failed:" + problems);
      }
      return s;
    }
  }
  committed_ = true;
  for (const Staged& s : staged_) {
    if (!s.aside.empty()) fs_.Remove(s.aside);  // in use: stays until the next run
  }
  return Status::Ok();
}

}  // namespace uz32
