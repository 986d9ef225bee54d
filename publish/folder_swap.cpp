#include "publish/folder_swap.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <system_error>

#include "mirror/mirror_rules.h"
#include "publish/interrupt_cleanup.h"
#include "publish/mirror_leftovers.h"
#include "publish/utf8_path.h"

#ifndef _WIN32
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vlrpub {

namespace fs = std::filesystem;

namespace {

// A mirror a web server reads must stay readable to it: the new folder takes the old
// one's mode, owner and group, and its files the same owner and group with the read and
// write bits of that mode (a process that may not give them away keeps its own; the
// mode is set after the owner, as a change of owner can clear set-id bits). Windows
// folders inherit their access from the parent, as the old one did.
#ifndef _WIN32
void Give(const fs::path& p, const struct stat& s, mode_t mode) {
  if (chown(p.c_str(), s.st_uid, s.st_gid) != 0 &&
      chown(p.c_str(), static_cast<uid_t>(-1), s.st_gid) != 0) {
    // Neither is ours to give: it keeps this process's owner and group.
  }
  chmod(p.c_str(), mode);
}
#endif

void TakeAccessOf(const fs::path& old, const fs::path& fresh) {
#ifndef _WIN32
  struct stat s {};
  if (stat(old.c_str(), &s) != 0) return;
  const auto give = [&](const fs::path& p, mode_t mode) { Give(p, s, mode); };
  std::error_code ec;
  for (fs::directory_iterator it(fresh, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec)) give(it->path(), s.st_mode & 0666);
  }
  give(fresh, s.st_mode & 07777);
#else
  (void)old;
  (void)fresh;
#endif
}

// A file written to replace `old` gets its owner, group and read and write bits.
void TakeFileAccessOf(const fs::path& old, const fs::path& fresh) {
#ifndef _WIN32
  struct stat s {};
  if (stat(old.c_str(), &s) == 0) Give(fresh, s, s.st_mode & 0666);
#else
  (void)old;
  (void)fresh;
#endif
}

// Exchanges the two folders in one step. True when done; false with `unsupported` set
// when the system or file system cannot, else with the error in ec.
bool Exchange(const fs::path& a, const fs::path& b, bool& unsupported, std::error_code& ec) {
#if defined(__linux__) && defined(RENAME_EXCHANGE)
  if (renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) return true;
  unsupported = errno == EINVAL || errno == ENOSYS || errno == ENOTSUP || errno == EOPNOTSUPP;
  ec = std::error_code(errno, std::generic_category());
  return false;
#else
  (void)a;
  (void)b;
  (void)ec;
  unsupported = true;
  return false;
#endif
}

// The tests' way to send a real signal between the two renames: with this variable set,
// the two-rename way is taken and the process stops itself between them.
bool PausingForTest() { return std::getenv("VLRPUBLISH_TEST_PAUSE_IN_SWAP") != nullptr; }

}  // namespace

std::string PutInPlace(ScratchFolder& built, const fs::path& mirror, bool replace) {
  std::error_code ec;
  InterruptDeferred whole;
  if (!replace) {
    fs::rename(built.path(), mirror, ec);
    if (ec) return "cannot rename the new mirror into place: " + ec.message();
    built.Keep();
    return {};
  }
  TakeAccessOf(mirror, built.path());
  bool unsupported = false;
  if (!PausingForTest() && Exchange(built.path(), mirror, unsupported, ec)) {
    return {};  // built holds the old one
  }
  if (!PausingForTest() && !unsupported) return "cannot exchange the new mirror with the old one: " + ec.message();

  ScratchFolder aside(mirror.parent_path(), WorkingFolderStem(mirror.filename(), "old"));
  if (!aside.error().empty()) return aside.error();
  const fs::path old = aside.path() / "mirror";
  fs::rename(mirror, old, ec);
  if (ec) return "cannot move the existing mirror folder aside: " + ec.message();
#ifndef _WIN32
  if (PausingForTest()) std::raise(SIGSTOP);
#endif
  fs::rename(built.path(), mirror, ec);
  if (ec) {
    std::error_code back;
    fs::rename(old, mirror, back);
    if (back) {
      aside.Keep();
      return "cannot rename the new mirror into place (" + ec.message() +
             "), and the old one could not be put back: it is in " + Utf8FromPath(old);
    }
    return "cannot rename the new mirror into place: " + ec.message();
  }
  built.Keep();
  return {};  // aside goes with the old mirror in it
}

std::string PutPairInPlace(ScratchFolder& aside, const fs::path& mirror) {
  const fs::path page = mirror / vlr::kVersionFileName;
  const fs::path signature = SignaturePath(page);
  const fs::path newPage = aside.path() / vlr::kVersionFileName;
  const fs::path newSignature = SignaturePath(newPage);
  TakeFileAccessOf(page, newPage);
  TakeFileAccessOf(page, newSignature);
  std::error_code ec;
  InterruptDeferred whole;
  fs::rename(newPage, page, ec);
  if (ec) return "cannot rename the new version.html into place: " + ec.message();
#ifndef _WIN32
  if (PausingForTest()) std::raise(SIGSTOP);
#endif
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

}  // namespace vlrpub
