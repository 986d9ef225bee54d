// Lock files in a folder several users share: a lock another user's run left can be
// taken, one held (or unreadable) counts as another copy running, and a link planted at
// the lock's name, or at the name of a file made anew, is refused without harm to what
// it leads to.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "platform/lock_file.h"
#include "platform/plain_file.h"
#include "platform/system.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/services.h"
#endif

namespace {

namespace fs = std::filesystem;

fs::path FreshFolder(const std::string& name) {
  const fs::path folder = fs::path(VLR_BIN_DIR) / "lock_file_work" / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

#ifndef _WIN32

constexpr uid_t kOtherUser = 65534;  // nobody

// Runs step in a child process as another user, as setpriv --reuid --regid
// --clear-groups would; its exit code (step's answer), or -1 when it did not end well.
template <class Step>
int AsOtherUser(Step step) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setresgid(kOtherUser, kOtherUser, kOtherUser) != 0 ||
        ::setresuid(kOtherUser, kOtherUser, kOtherUser) != 0) {
      ::_exit(99);
    }
    ::_exit(step());
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Another user can take a lock file that a run of this user left (killed, the file
// stays), made under the strictest umask; and while this user holds it, the other is
// told it is busy.
TEST(LockFiles, AnotherUserTakesALockFileALeftOverRunMade) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  const fs::path folder = FreshFolder("two_users");
  fs::permissions(folder, fs::perms::all);
  fs::permissions(folder.parent_path(), fs::perms::all);
  const fs::path lock = folder / ".~uz32-lock";
  const mode_t umaskWas = ::umask(077);
  const pid_t killed = ::fork();
  if (killed == 0) {
    bool busy = false;
    unsigned long error = 0;
    auto held = platform::TakeLockFile(lock, busy, error);
    ::_exit(held ? 0 : 1);  // no destructor: the file stays, as after a kill
  }
  int status = 0;
  ASSERT_EQ(::waitpid(killed, &status, 0), killed);
  ::umask(umaskWas);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_TRUE(fs::exists(lock));
  const auto take = [&] {
    bool busy = false;
    unsigned long error = 0;
    auto held = platform::TakeLockFile(lock, busy, error);
    return held ? 0 : busy ? 2 : 1;
  };
  EXPECT_EQ(AsOtherUser(take), 0);
  bool busy = false;
  unsigned long error = 0;
  auto mine = platform::TakeLockFile(lock, busy, error);
  ASSERT_TRUE(mine);
  EXPECT_EQ(AsOtherUser(take), 2);
}

// The updater's instance lock: held by this user, or a lock file the other user may
// not open, means another copy may be running there.
TEST(LockFiles, AnInstanceLockTheUserMayNotOpenCountsAsAnotherCopy) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  const fs::path exe = fs::read_symlink("/proc/self/exe");
  const fs::path lock = exe.parent_path() / ".vlrupdate.lock";
  fs::remove(lock);
  {
    std::ofstream(lock) << "";
  }
  fs::permissions(lock, fs::perms::owner_read | fs::perms::owner_write);
  const auto running = [] {
    return platform::DefaultService<platform::System>().AnotherInstanceRunning() ? 1 : 0;
  };
  EXPECT_EQ(AsOtherUser(running), 1);
  fs::remove(lock);
}

#else

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A second name of a file planted at the lock's name is refused, and a symbolic link
// (where the system lets one be made) is opened itself, never followed: what it leads
// to is neither emptied nor deleted when the lock is let go (Windows also refuses the
// link; Wine opens it but does not report it as one). The updater's own lock is the
// same call.
TEST(LockFiles, ALinkPlantedAtTheLocksNameIsRefusedAndItsTargetKept) {
  const fs::path folder = FreshFolder("planted");
  const fs::path victim = folder / "victim.txt";
  std::ofstream(victim) << "precious";
  const fs::path lock = folder / "vlrupdate.lock";
  std::error_code ec;
  fs::create_hard_link(victim, lock, ec);
  ASSERT_FALSE(ec) << ec.message();
  bool busy = false;
  unsigned long error = 0;
  EXPECT_FALSE(platform::TakeLockFile(lock, busy, error));
  EXPECT_FALSE(busy);
  EXPECT_EQ(Slurp(victim), "precious");
  fs::remove(lock, ec);
  if (!CreateSymbolicLinkW(lock.c_str(), victim.c_str(), 0)) {
    GTEST_SKIP() << "symbolic links cannot be made here (error " << GetLastError() << ")";
  }
  platform::TakeLockFile(lock, busy, error).reset();  // taken or refused, then let go
  EXPECT_EQ(Slurp(victim), "precious");
}

// A file made anew where a symbolic link stands, dangling or not, never goes through
// it: the link's target is neither made nor written (Windows refuses the name as
// taken; under Wine only the first half shows: nothing goes through the link).
TEST(LockFiles, AFileMadeAnewNeverGoesThroughALink) {
  const fs::path folder = FreshFolder("create_new");
  const fs::path victim = folder / "victim.txt";
  const fs::path made = folder / "vlrupdate.installed.new";
  if (!CreateSymbolicLinkW(made.c_str(), victim.c_str(), 0)) {
    GTEST_SKIP() << "symbolic links cannot be made here (error " << GetLastError() << ")";
  }
  const auto write = [&] {
    unsigned long error = 0;
    if (auto file = platform::OpenPlainFile(made, platform::PlainFile::Mode::kCreateNew, error)) {
      file->Write("evil", 4);
      file->Close();
    }
  };
  write();
  EXPECT_FALSE(fs::exists(victim));
  std::error_code ec;
  fs::remove(made, ec);
  ASSERT_TRUE(CreateSymbolicLinkW(made.c_str(), victim.c_str(), 0));
  std::ofstream(victim) << "precious";
  write();
  EXPECT_EQ(Slurp(victim), "precious");
}

#endif

}  // namespace
