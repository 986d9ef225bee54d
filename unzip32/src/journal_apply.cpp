#include "journal_apply.h"

#include <algorithm>
#include <string>

#include "os/platform_text.h"
#include "reserved_names.h"

namespace uz32 {
namespace {

// Another program (a scanner, an indexer) often holds a file that was just written
// for a moment: a refused step is tried again after each of these waits.
constexpr unsigned kRetryWaitsMs[] = {50, 100, 200, 400, 800};

Status Refused(const std::string& why) { return Status::Fail(UNZIP_ERR_DISK_FULL, why); }

// A refusal that trying again cannot help.
Applied Blocked(const std::string& why) { return Applied{Refused(why), true}; }

// Something other than a file stands where one is to be moved from or to: a folder
// stays in the way (blocked); what cannot be asked about may not.
Applied InTheWay(PathType type, const std::string& why) {
  return Applied{Refused(why), type == PathType::Folder};
}

bool RealFolder(FileSystem& fs, const NativeString& path) {
  return fs.TypeOf(path) == PathType::Folder && !fs.IsLink(path);
}

}  // namespace

template <class Step>
Status JournalApplier::Retried(Step step) {
  Status s = step();
  for (unsigned wait : kRetryWaitsMs) {
    if (s.ok()) break;
    fs_.Pause(wait);
    s = step();
  }
  return s;
}

Applied JournalApplier::CheckParents(const NativeString& relative) {
  const std::vector<NativeString> parts = PathComponents(relative);
  NativeString path = folder_;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    path = JoinPath(path, parts[i]);
    if (!RealFolder(fs_, path)) {
      return Blocked("cannot use " + Utf8FromNative(path) +
                     ": it is not a folder (links are not followed)");
    }
  }
  return Applied{};
}

Applied JournalApplier::MakeFolder(const NativeString& relative) {
  if (Applied a = CheckParents(relative); !a.ok()) return a;
  const NativeString path = JoinPath(folder_, relative);
  const std::string inTheWay = "cannot make the folder " + Utf8FromNative(path) +
                               ": a file or a link is in the way (links are not followed)";
  const PathType type = fs_.TypeOf(path);
  if (type == PathType::Folder && !fs_.IsLink(path)) return Applied{};
  // A link or a file stays in the way; what cannot be asked about may not.
  if (type != PathType::Missing) return Applied{Refused(inTheWay), type != PathType::Other};
  Applied a{Retried([&] { return fs_.MakeFolder(path); })};
  a.made = a.ok();
  return a;
}

Applied JournalApplier::Place(const JournalFile& file, OldFile* old) {
  const NativeString staged = JoinPath(folder_, file.staged);
  const NativeString target = JoinPath(folder_, file.target);
  const PathType stagedType = fs_.TypeOf(staged);
  if (stagedType == PathType::Missing) return Applied{};
  if (stagedType != PathType::File) {
    return InTheWay(stagedType, Utf8FromNative(staged) + " is not a file");
  }
  if (Applied a = CheckParents(file.target); !a.ok()) return a;
  const PathType targetType = fs_.TypeOf(target);
  if (targetType == PathType::Missing) {
    return Applied{Retried([&] { return fs_.Rename(staged, target); })};
  }
  if (targetType != PathType::File) {
    return InTheWay(targetType, "cannot replace " + Utf8FromNative(target) + ": it is not a file");
  }
  // Windows also opens a file by its short name: one of this library's own files (or
  // another file) reached that way must not be replaced.
  const std::vector<NativeString> parts = PathComponents(file.target);
  if (const std::optional<NativeString> listed = fs_.ListedName(target);
      listed && !parts.empty() && FileNameKey(*listed) != FileNameKey(parts.back())) {
    return Blocked("cannot replace " + Utf8FromNative(target) + ": the name reaches " +
                   Utf8FromNative(*listed) + " (a short name)");
  }
  if (old) {
    old->existed = true;
    // A second name keeps the old content for an undo while the new file replaces it
    // in one step. Without one (no links here) the commit cannot be undone past this
    // file, only finished.
    NativeString second;
    if (FindAsidePath(fs_, folder_, file.target, counter_, second).ok() && fs_.Link(target, second)) {
      old->kept = second;
      old->names.push_back(second);
    }
  }
  for (size_t attempt = 0;; ++attempt) {
    bool inUse = false;
    Applied a{fs_.Replace(staged, target, inUse)};
    if (a.ok()) return a;
    if (inUse) {
      a = SetAsideAndMoveIn(staged, target, file.target, old);
      if (a.ok() || a.nameFree) return a;
    }
    if (attempt == std::size(kRetryWaitsMs)) return a;
    fs_.Pause(kRetryWaitsMs[attempt]);
  }
}

// The old file is in use: renamed aside, it frees its name for the new one. Between
// the two renames the name is free, so the second is not retried: should it fail, the
// old file goes straight back (the caller tries the whole again). nameFree when even
// that failed (applying the journal again then fills the name).
Applied JournalApplier::SetAsideAndMoveIn(const NativeString& staged, const NativeString& target,
                                          const NativeString& relative, OldFile* old) {
  NativeString aside;
  if (Status s = FindAsidePath(fs_, folder_, relative, counter_, aside); !s.ok()) return Applied{s};
  if (Status s = fs_.Rename(target, aside); !s.ok()) {
    return Applied{Refused("cannot replace " + Utf8FromNative(target) + " (" + s.message() + ")")};
  }
  const Status moved = fs_.Rename(staged, target);
  if (moved.ok()) {
    if (old) {
      old->names.push_back(aside);
      if (old->kept.empty()) old->kept = aside;
    }
    return Applied{moved};
  }
  if (Retried([&] { return fs_.Rename(aside, target); }).ok()) return Applied{moved};
  if (old) old->names.push_back(aside);
  Applied a{Refused(moved.message() + "; the old " + Utf8FromNative(target) + " is left as " +
                    Utf8FromNative(aside))};
  a.nameFree = true;
  return a;
}

Status JournalApplier::Undo(const JournalFile& file, OldFile& old) {
  const NativeString staged = JoinPath(folder_, file.staged);
  const NativeString target = JoinPath(folder_, file.target);
  if (!old.existed) return Retried([&] { return fs_.Rename(target, staged); });
  if (old.kept.empty()) {
    return Refused("the old " + Utf8FromNative(target) + " was not kept (no links on this volume)");
  }
  const Status linked = Retried([&] {
    return fs_.Link(target, staged) ? Status::Ok()
                                    : Refused("cannot give " + Utf8FromNative(target) +
                                              " its staged name again");
  });
  if (!linked.ok()) return linked;
  const Status back = Retried([&] {
    bool inUse = false;
    return fs_.Replace(old.kept, target, inUse);
  });
  if (!back.ok()) {
    fs_.Remove(staged);  // the target still holds the new file
    return back;
  }
  std::erase(old.names, old.kept);
  old.kept.clear();
  // The old file is under its own name again: its other names go.
  std::erase_if(old.names, [&](const NativeString& name) { return fs_.Remove(name); });
  return Status::Ok();
}

}  // namespace uz32
