#include "vlrpublish/mirror_folder.h"

#include <algorithm>
#include <optional>
#include <random>
#include <system_error>

#include "mirror/mirror_rules.h"
#include "platform/file_replacement.h"
#include "vlrpublish/interrupt_cleanup.h"
#include "vlrpublish/shown_text.h"

namespace vlrpub {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder(const std::filesystem::path& parent, const std::string& stem) {
  std::random_device seed;
  std::mt19937 pick(seed());
  std::error_code ec;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate =
        parent / PathFromUtf8(stem + "-" + std::to_string(pick() % 1000000000u));
    // Made and listed as one step: an interrupt finds it listed or not made.
    InterruptDeferred made;
    if (std::filesystem::create_directory(candidate, ec)) {
      path_ = candidate;
      interruptId_ = RemoveOnInterrupt(candidate);
      return;
    }
    if (ec) break;  // not a name that was taken: the parent itself refuses
  }
  error_ = "cannot make a folder in " + Utf8FromPath(parent) +
           (ec ? ": " + ec.message() : std::string());
}

void ScratchFolder::Keep() {
  kept_ = true;
  Forget(interruptId_);
}

ScratchFolder::~ScratchFolder() {
  if (kept_ || path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
  Forget(interruptId_);
}

namespace {

bool AllDigits(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// True for "<stem>-<digits>".
bool IsWorkingFolderName(const std::string& name, const std::string& stem) {
  return name.starts_with(stem + "-") && AllDigits(name.substr(stem.size() + 1));
}

bool IsMirrorFileName(std::string name) {
  if (name == vlr::SecondSignatureName(vlr::kVersionFileName)) return true;
  if (name.ends_with(".sig")) name.resize(name.size() - 4);
  return name == vlr::kVersionFileName || (name.starts_with("vlr") && name.ends_with(".zip"));
}

// A working folder of any mirror of ours: ".<name>.vlrpublish-<what>-<digits>".
bool IsAnyWorkingFolderName(const std::string& name) {
  for (const char* what : {"new", "old", "check", "sign"}) {
    const std::string infix = ".vlrpublish-" + std::string(what) + "-";
    const std::size_t at = name.rfind(infix);
    if (name.starts_with('.') && at != std::string::npos &&
        AllDigits(name.substr(at + infix.size())))
      return true;
  }
  return false;
}

// Removes the working folders a run left; the line that says how many went.
std::string RemoveWorkingFolders(const std::vector<fs::path>& working, const char* where,
                                 const fs::path& mirror) {
  std::size_t removed = 0;
  for (const fs::path& folder : working) {
    std::error_code ec;
    fs::remove_all(folder, ec);
    if (!ec) ++removed;
  }
  return "removed " + std::to_string(removed) + " of " + std::to_string(working.size()) +
         " working folder(s) an interrupted run had left " + where + " " + Utf8FromPath(mirror);
}

// True when `folder` holds nothing but what vlrpublish puts in its working folders: a
// mirror's files (and the replaced version.html that sign keeps), and folders that
// hold the same (an old mirror set aside, what sign left in it). A folder named like
// one of ours that holds anything else is not ours, and is never deleted.
bool HoldsOnlyMirrorFiles(const fs::path& folder, int depth = 0) {
  if (depth > 3) return false;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = Utf8FromPath(it->path().filename());
    std::error_code typeError;
    const fs::file_status status = it->symlink_status(typeError);
    if (typeError) return false;
    if (fs::is_regular_file(status) && (IsMirrorFileName(name) || name == kReplacedPageName)) {
      continue;
    }
    if (fs::is_directory(status) && (name == "mirror" || IsAnyWorkingFolderName(name)) &&
        HoldsOnlyMirrorFiles(it->path(), depth + 1)) {
      continue;
    }
    return false;
  }
  return !ec;
}

// The folders (not links to one) in `parent` named `stem` + "-" + digits; of them, only
// those that hold nothing but what HoldsOnlyMirrorFiles takes, unless `anyContent`.
std::vector<fs::path> WorkingFolders(const fs::path& parent, const std::string& stem,
                                     bool anyContent = false) {
  std::vector<fs::path> found;
  std::error_code ec;
  for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (it->is_directory(typeError) && !it->is_symlink(typeError) &&
        IsWorkingFolderName(Utf8FromPath(it->path().filename()), stem) &&
        (anyContent || HoldsOnlyMirrorFiles(it->path())))
      found.push_back(it->path());
  }
  return found;
}

}  // namespace

MirrorLock::MirrorLock(const fs::path& mirror) {
  fs::path whole = fs::absolute(mirror).lexically_normal();
  if (!whole.has_filename()) whole = whole.parent_path();
  const fs::path lock = whole.parent_path() / PathFromUtf8("." + Utf8FromPath(whole.filename()) +
                                                           ".vlrpublish-lock");
  bool busy = false;
  unsigned long error = 0;
  // Taken and listed as one step: an interrupt finds it listed or not taken.
  InterruptDeferred taking;
  lock_ = platform::TakeLockFile(lock, busy, error);
  if (lock_) {
    interruptId_ = RemoveOnInterrupt(lock);
    return;
  }
  why_ = busy ? "another vlrpublish make or sign is working on " + Utf8FromPath(whole) +
                    " (it holds " + Utf8FromPath(lock) + "); run this again once it has ended"
              : "cannot lock the mirror folder with " + Utf8FromPath(lock) +
                    SystemReason(static_cast<int>(error));
}

MirrorLock::~MirrorLock() {
  if (lock_) Forget(interruptId_);
}

std::string WorkingFolderStem(const fs::path& mirrorName, const std::string& what) {
  return "." + Utf8FromPath(mirrorName) + ".vlrpublish-" + what;
}

std::vector<std::string> ForeignEntries(const fs::path& mirror, std::size_t most,
                                        std::size_t& more) {
  std::vector<std::string> foreign;
  more = 0;
  std::error_code ec;
  fs::directory_iterator it(mirror, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const std::string name = Utf8FromPath(it->path().filename());
    std::error_code typeError;
    const fs::file_status status = it->symlink_status(typeError);
    const bool ours = !typeError && ((fs::is_regular_file(status) && IsMirrorFileName(name)) ||
                                     (fs::is_directory(status) && IsAnyWorkingFolderName(name) &&
                                      HoldsOnlyMirrorFiles(it->path())));
    if (ours) continue;
    if (foreign.size() < most) {
      foreign.push_back("'" + ShownName(name) + "'" + (fs::is_directory(status) ? " (a folder)" : ""));
    } else {
      ++more;
    }
  }
  if (ec) foreign.push_back("(the folder cannot be listed: " + ec.message() + ")");
  std::sort(foreign.begin(), foreign.end());
  return foreign;
}

std::string RecoverInterruptedRun(const fs::path& mirror) {
  const fs::path parent = mirror.parent_path();
  const auto stem = [&mirror](const char* what) {
    return WorkingFolderStem(mirror.filename(), what);
  };
  // A built or set-aside mirror holds only a mirror's files; what a self-check unpacked
  // may be named anything.
  const std::vector<fs::path> asides = WorkingFolders(parent, stem("old"));
  std::vector<fs::path> working = WorkingFolders(parent, stem("new"));
  working.insert(working.end(), asides.begin(), asides.end());
  for (const fs::path& check : WorkingFolders(parent, stem("check"), true))
    working.push_back(check);
  if (working.empty()) return {};
  std::string line;
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(mirror, ec))) {
    for (const fs::path& aside : asides) {
      const fs::path old = aside / "mirror";
      if (!fs::is_directory(fs::symlink_status(old, ec))) continue;
      fs::rename(old, mirror, ec);
      if (ec) {
        // Nothing more is touched: the old mirror stays where it is, and is named.
        return "vlrpublish make: the mirror folder " + Utf8FromPath(mirror) +
               " is missing; an interrupted run left the old one in " + Utf8FromPath(old) +
               ", which cannot be put back (" + ec.message() + ")";
      }
      line = "put back the mirror folder an interrupted run had left in " +
             Utf8FromPath(old.parent_path()) + ", and ";
      break;
    }
  }
  return "vlrpublish make: " + line + RemoveWorkingFolders(working, "beside", mirror);
}

std::string RemoveSignLeftovers(const fs::path& mirror) {
  const std::vector<fs::path> working =
      WorkingFolders(mirror, WorkingFolderStem(vlr::kVersionFileName, "sign"));
  if (working.empty()) return {};
  return "vlrpublish sign: " + RemoveWorkingFolders(working, "in", mirror);
}

namespace {

// Writes every file in folder, then the folder's names, through to the disk: what a
// rename puts in place must be whole there before the rename is, or a power cut can
// leave the new names with empty files.
bool FlushFolderTree(const fs::path& folder) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (it->is_regular_file(typeError) && !platform::FlushToDisk(it->path())) return false;
  }
  return !ec && platform::FlushToDisk(folder);
}

}  // namespace

std::string PutInPlace(ScratchFolder& built, const fs::path& mirror, bool replace) {
  std::error_code ec;
  InterruptDeferred whole;
  // The swap itself is written through too, so that the mirror reported made stays.
  struct FlushParent {
    const fs::path& mirror;
    ~FlushParent() { platform::FlushToDisk(mirror.parent_path()); }
  } flushParent{mirror};
  // A mirror a web server reads must stay readable to it.
  if (replace) platform::TakeAccessOf(mirror, built.path());
  if (!FlushFolderTree(built.path())) return "cannot write the new mirror through to the disk";
  std::optional<ScratchFolder> aside;  // the old mirror, when the two cannot be exchanged
  if (replace) {
    bool unsupported = false;
    // Exchanged: built holds the old one.
    if (platform::ExchangeFolders(built.path(), mirror, unsupported, ec)) return {};
    if (!unsupported) return "cannot exchange the new mirror with the old one: " + ec.message();
    aside.emplace(mirror.parent_path(), WorkingFolderStem(mirror.filename(), "old"));
    if (!aside->error().empty()) return aside->error();
    fs::rename(mirror, aside->path() / "mirror", ec);
    if (ec) return "cannot move the existing mirror folder aside: " + ec.message();
  }
  fs::rename(built.path(), mirror, ec);
  if (ec && aside) {
    const fs::path old = aside->path() / "mirror";
    std::error_code back;
    fs::rename(old, mirror, back);
    if (back) {
      aside->Keep();
      return "cannot rename the new mirror into place (" + ec.message() +
             "), and the old one could not be put back: it is in " + Utf8FromPath(old);
    }
  }
  if (ec) return "cannot rename the new mirror into place: " + ec.message();
  built.Keep();
  return {};  // an aside goes with the old mirror in it
}

std::string PutPairInPlace(ScratchFolder& aside, const fs::path& mirror) {
  const fs::path page = mirror / vlr::kVersionFileName;
  const fs::path signature = SignaturePath(page);
  const fs::path newPage = aside.path() / vlr::kVersionFileName;
  const fs::path newSignature = SignaturePath(newPage);
  platform::TakeAccessOf(page, newPage);
  platform::TakeAccessOf(page, newSignature);
  // Both whole on the disk before either takes its name, and the names written
  // through after: a power cut leaves the old pair, the new one, or the new page with
  // the old signature (refused; the next sign mends it), never an empty file.
  if (!platform::FlushToDisk(newPage) || !platform::FlushToDisk(newSignature) ||
      !platform::FlushToDisk(aside.path()))
    return "cannot write the new version.html and its signature through to the disk";
  struct FlushMirror {
    const fs::path& mirror;
    ~FlushMirror() { platform::FlushToDisk(mirror); }
  } flushMirror{mirror};
  std::error_code ec;
  InterruptDeferred whole;
  fs::rename(newPage, page, ec);
  if (ec) return "cannot rename the new version.html into place: " + ec.message();
  fs::rename(newSignature, signature, ec);
  if (!ec) return {};
  std::error_code back;
  fs::rename(aside.path() / kReplacedPageName, page, back);
  if (back) {
    aside.Keep();
    return "cannot rename the new version.html.sig into place (" + ec.message() +
           "), and the old version.html could not be put back (" + back.message() +
           "): the folder holds the new version.html with the old signature, which updaters "
           "with a key refuse; the new signature is in " + Utf8FromPath(newSignature);
  }
  return "cannot rename the new version.html.sig into place: " + ec.message();
}

std::string PutSecondSignatureInPlace(ScratchFolder& aside, const fs::path& mirror) {
  const fs::path page = mirror / vlr::kVersionFileName;
  const fs::path second = SecondSignaturePath(page);
  const fs::path newSecond = SecondSignaturePath(aside.path() / vlr::kVersionFileName);
  std::error_code ec;
  InterruptDeferred whole;
  if (fs::exists(newSecond, ec)) {
    platform::TakeAccessOf(page, newSecond);
    fs::rename(newSecond, second, ec);
    if (ec) return "cannot rename the new version.html.sig2 into place: " + ec.message();
  } else if (fs::exists(second, ec)) {
    fs::remove(second, ec);
    if (ec) return "cannot remove the old version.html.sig2: " + ec.message();
  }
  return {};
}

}  // namespace vlrpub
