// The life of a mirror folder as vlrpublish writes it: working folders of its own made
// beside it (where a mirror is built, or an old one set aside), the built folder or a
// new signed pair put in its place, and what an interrupted run left mended.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/lock_file.h"

namespace vlrpub {

// The lock that a run of make or sign holds on a mirror folder from before it mends or
// writes anything until it ends: the file "." + name + ".vlrpublish-lock" beside the
// mirror, removed on an interrupt too (see interrupt_cleanup.h).
class MirrorLock {
 public:
  // Takes it. held() is false, and why() says so in one line, when another run holds
  // it or it cannot be made.
  explicit MirrorLock(const std::filesystem::path& mirror);
  ~MirrorLock();
  MirrorLock(const MirrorLock&) = delete;
  MirrorLock& operator=(const MirrorLock&) = delete;

  bool held() const { return lock_ != nullptr; }
  const std::string& why() const { return why_; }

 private:
  std::unique_ptr<platform::LockFile> lock_;
  std::string why_;
  unsigned interruptId_ = 0;
};

// A folder of our own beside a target folder, removed with everything in it unless it
// is kept: where a mirror is built before it is renamed into place. While it exists it
// is also removed by an interrupt (see interrupt_cleanup.h).
class ScratchFolder {
 public:
  // Creates a new, empty folder in `parent` named `stem` + "-" + a number. error()
  // says when none could be made (path() is then empty).
  ScratchFolder(const std::filesystem::path& parent, const std::string& stem);
  ~ScratchFolder();  // removes the folder and its contents unless Keep() was called
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  const std::string& error() const { return error_; }
  // The folder has been renamed away or handed on: nothing to remove, now or on an
  // interrupt.
  void Keep();

 private:
  std::filesystem::path path_;
  std::string error_;
  bool kept_ = false;
  unsigned interruptId_ = 0;
};

// The name stem of every working folder of the mirror called `mirrorName`:
// "." + mirrorName + ".vlrpublish-" + what ("new", "old", "check"; sign's, inside the
// mirror folder, is the stem of the mirror's own "version.html" with "sign").
std::string WorkingFolderStem(const std::filesystem::path& mirrorName, const std::string& what);

// The entries of the existing folder `mirror` that are not a mirror's: anything but
// ordinary files named version.html, vlr*.zip and their .sig, and working folders of
// ours. At most `most` names (escaped for printing); `more` counts the rest. An
// unreadable folder gives one entry saying so.
std::vector<std::string> ForeignEntries(const std::filesystem::path& mirror, std::size_t most,
                                        std::size_t& more);

// Mends what an interrupted run of make left beside `mirror`: when `mirror` is missing
// and an old mirror was left aside, it is put back; then every working folder of this
// mirror is removed. Returns the one line that says what was done ("" when nothing
// was found); what could not be done is said in it too.
std::string RecoverInterruptedRun(const std::filesystem::path& mirror);

// Removes the working folders of sign that a run which was killed left inside
// `mirror`. (Whatever pair such a run left, the sign that calls this writes a new one.)
// Returns the one line that says so ("" when none was found).
std::string RemoveSignLeftovers(const std::filesystem::path& mirror);

// Renames `built` to `mirror`; interrupts wait until it is done. With replace, `built`
// first gets the existing folder's permissions, and its owner and group where the
// system allows; then:
//  - on Linux, where the file system can, the two folders are exchanged in one step
//    (the old mirror then lies at built's name and goes with `built`);
//  - otherwise the existing `mirror` is moved into a working folder beside it and
//    removed once the new one is in place, or put back when the rename fails. Should
//    the process die between the two renames, RecoverInterruptedRun puts it back.
// Empty on success (built is then kept, or holds the old mirror); else why, with
// `mirror` as it was (or, should even putting it back fail, the message says where it
// is).
std::string PutInPlace(ScratchFolder& built, const std::filesystem::path& mirror, bool replace);

// The copy of the replaced version.html that PutPairInPlace expects in its folder.
inline constexpr char kReplacedPageName[] = "version.html.old";

// Renames the new version.html, then the new version.html.sig, from `aside` (a working
// folder inside `mirror`) over the mirror's own; interrupts wait until both are done.
// Two files cannot change in one step: in between the folder holds the new
// version.html with the old signature, and an updater that fetches the pair across the
// switch refuses it as not authentic (it installs nothing; its next run gets the new
// pair). version.html goes first: a client then meets the mixed pair only when it asks
// for both files within the microseconds between the renames, or straddles the switch,
// which no order avoids. Both files first take the old version.html's access (mode,
// owner and group where the system allows), so the web server reads them. When the
// signature's rename fails, the old version.html (kept in `aside` as
// kReplacedPageName) is put back, so the old pair stands. Empty on success; else why,
// with the folder as it was (or, should even putting back fail, the message says so).
std::string PutPairInPlace(ScratchFolder& aside, const std::filesystem::path& mirror);

// After PutPairInPlace: renames the new version.html.sig2 from `aside` over the
// mirror's own (with the access of the mirror's version.html) or, when `aside` holds
// none, removes the mirror's (it signed the old version.html). Empty on success; else
// why, the new pair being in place all the same.
std::string PutSecondSignatureInPlace(ScratchFolder& aside, const std::filesystem::path& mirror);

}  // namespace vlrpub
