// Extractions over existing files cut short: killed (SIGKILL) at moments spread over
// their staging and commit, or ended at a chosen rename after the system refused
// others. Every member's name must hold its old or its new content, the recovery must
// leave all old or all new files and nothing of the library's, and the next extraction
// exactly the package's files. And two extractions at once in one folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "extraction_run.h"
#include "faulty_files.h"
#include "folder_recovery.h"
#include "reserved_names.h"
#include "tests/support/test_paths.h"
#include "tests/support/zip_writer.h"

namespace uz32 {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Files = std::map<std::string, std::string>;

Files Read(const fs::path& folder) {
  Files files;
  for (const auto& e : fs::directory_iterator(folder)) {
    std::ifstream in(e.path(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    files[e.path().filename().string()] = s.str();
  }
  return files;
}

int Extract(const fs::path& folder, FileSystem* files = nullptr,
            const std::string& archive = std::string(UZ32_FIXTURES) + "/many.zip") {
  RunOptions options;
  options.archive = archive;
  options.archiveUtf8 = archive;
  options.folder = folder.string();
  options.overwrite = OverwritePolicy::Always;
  Reporter reporter(nullptr, 2);
  const auto real = MakeNativeFileSystem();
  return RunUnzip(options, reporter, files ? *files : *real);
}

// The library's own names, which a run may leave for the next one to clear.
bool IsLibrarys(const std::string& name) {
  return KindOf(name) != ReservedKind::None || name == kJournalNameAscii || name == kLockNameAscii;
}

// An extraction into a folder in a child process, killed and reaped at the latest
// when the object goes.
class Child {
 public:
  explicit Child(const fs::path& folder, FileSystem* files = nullptr,
                 const std::string& archive = std::string(UZ32_FIXTURES) + "/many.zip")
      : started_(Clock::now()), pid_(::fork()) {
    if (pid_ == 0) ::_exit(Extract(folder, files, archive));
  }
  ~Child() {
    Kill();
    Killed();
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  Clock::time_point started() const { return started_; }
  void Kill() {
    if (!reaped_) ::kill(pid_, SIGKILL);
  }
  // Waits for the end; true when the child was killed rather than ending by itself.
  bool Killed() {
    if (!reaped_) Reap(0);
    return WIFSIGNALED(status_);
  }
  // True while it runs.
  bool Running() { return !reaped_ && !Reap(WNOHANG); }
  // Waits for the end; the exit code, or -1 when it did not exit by itself.
  int ExitCode() {
    if (!reaped_) Reap(0);
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  }

 private:
  bool Reap(int flags) {
    reaped_ = ::waitpid(pid_, &status_, flags) == pid_;
    return reaped_;
  }

  Clock::time_point started_;
  pid_t pid_;
  int status_ = 0;
  bool reaped_ = false;
};

// Waits (at most a minute) until path exists or the child has ended.
bool WaitFor(const fs::path& path, Child& child) {
  const auto deadline = Clock::now() + std::chrono::minutes(1);
  while (!fs::exists(path) && child.Running()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return true;
}

TEST(Unzip32Kill, AKilledExtractionNeverLeavesAMemberMissingOrPartial) {
  const fs::path work = fs::path(vlrtest::HostPath(UZ32_WORK)) / "kill";
  const fs::path reference = work / "reference";
  const fs::path folder = work / "folder";
  const fs::path journal = folder / kJournalNameAscii;
  fs::remove_all(work);
  fs::create_directories(reference);
  ASSERT_EQ(Extract(reference), 0);
  const Files fresh = Read(reference);
  ASSERT_EQ(fresh.size(), 300u);
  Files old;
  for (const auto& [name, data] : fresh) old[name] = "old " + name;
  auto oldFolder = [&] {
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const auto& [name, data] : old) std::ofstream(folder / name, std::ios::binary) << data;
  };

  // An undisturbed run, for how long staging takes here.
  oldFolder();
  Child whole(folder);
  ASSERT_TRUE(WaitFor(journal, whole));
  const auto staging = Clock::now() - whole.started();
  ASSERT_FALSE(whole.Killed());
  ASSERT_EQ(Read(folder), fresh);

  // Six moments over the staging, then a series after the journal appeared.
  std::vector<std::pair<bool, Clock::duration>> moments;
  for (int i = 1; i <= 6; ++i) moments.emplace_back(false, staging * i / 7);
  for (int us : {0, 500, 2000, 5000, 10000, 20000}) {
    moments.emplace_back(true, std::chrono::microseconds(us));
  }
  int killedInCommit = 0;
  int killedMixed = 0;
  for (const auto& [sinceJournal, delay] : moments) {
    SCOPED_TRACE(testing::Message() << (sinceJournal ? "after the journal, " : "after the start, ")
                                    << std::chrono::duration_cast<std::chrono::microseconds>(delay).count()
                                    << " us");
    oldFolder();
    Child c(folder);
    if (sinceJournal) {
      ASSERT_TRUE(WaitFor(journal, c));
    }
    std::this_thread::sleep_until((sinceJournal ? Clock::now() : c.started()) + delay);
    c.Kill();
    const bool killed = c.Killed();
    const bool inCommit = killed && fs::exists(journal);
    killedInCommit += inCommit ? 1 : 0;

    size_t newFiles = 0;
    for (const auto& [name, data] : Read(folder)) {
      if (IsLibrarys(name)) continue;
      ASSERT_TRUE(fresh.count(name)) << name;
      ASSERT_TRUE(data == fresh.at(name) || data == old.at(name)) << name << " is partial";
      newFiles += data == fresh.at(name) ? 1 : 0;
    }
    killedMixed += newFiles > 0 && newFiles < fresh.size() ? 1 : 0;
    for (const auto& [name, data] : fresh) ASSERT_TRUE(fs::exists(folder / name)) << name << " is missing";

    // Recovery alone (on a copy): all old, or all new once any member was.
    const fs::path copy = work / "copy";
    fs::remove_all(copy);
    fs::copy(folder, copy);
    fs::remove(copy / kLockNameAscii);  // the killed run's; gone with its next holder
    const auto files = MakeNativeFileSystem();
    ASSERT_TRUE(RecoverFolder(*files, copy.string()).ok());
    const Files recovered = Read(copy);
    if (newFiles > 0) {
      EXPECT_EQ(recovered, fresh);
    } else {
      EXPECT_TRUE(recovered == old || recovered == fresh);
    }

    ASSERT_EQ(Extract(folder), 0);
    EXPECT_EQ(Read(folder), fresh);
  }
  std::printf("kills during the commit: %d (%d with some members new, some old)\n",
              killedInCommit, killedMixed);
  EXPECT_GT(killedInCommit, 0) << "no kill landed in a commit";
}

// Six files replaced and one added, with the system refusing one rename, six in a row
// (as many as a step is tried), or every rename from one on, and the process ending
// at a later one: no name is missing at the end, each holds its old or new content,
// and the recovery makes the folder all old, or all new when any file was new.
TEST(Unzip32Kill, ARefusalThenAnEndNeverLeavesANameMissingOrAMix) {
  const fs::path work = fs::path(vlrtest::HostPath(UZ32_WORK)) / "refuse_end";
  const fs::path folder = work / "folder";
  fs::remove_all(work);
  fs::create_directories(work);
  Files fresh, old;
  std::vector<std::pair<std::string, std::string>> members;
  for (int i = 0; i < 7; ++i) {
    const std::string name = "f" + std::to_string(i) + ".txt";
    fresh[name] = "new " + name;
    if (i < 6) old[name] = "old " + name;
    members.emplace_back(name, fresh[name]);
  }
  const std::string package = (work / "package.zip").string();
  std::ofstream(package, std::ios::binary) << vlrtest::StoredZip(members);

  int ended = 0;
  for (const int span : {1, 6, 0}) {
    for (int refused = 1; refused <= 8; ++refused) {
      const int first = refused + std::max(span, 1);
      for (int end = first; end < first + 6; ++end) {
        SCOPED_TRACE(testing::Message() << "renames from " << refused << " refused ("
                                        << (span ? std::to_string(span) : "all") << " of them),"
                                        << " the process ends at " << end);
        fs::remove_all(folder);
        fs::create_directories(folder);
        for (const auto& [name, data] : old) std::ofstream(folder / name, std::ios::binary) << data;
        FaultyFiles files;
        files.failFrom = refused;
        files.failCount = span;
        files.endAt = end;
        Child c(folder, &files, package);
        const int code = c.ExitCode();
        ended += code == 137 ? 1 : 0;
        bool anyNew = false;
        for (const auto& [name, data] : old) {
          ASSERT_TRUE(fs::exists(folder / name)) << name << " is missing";
        }
        for (const auto& [name, data] : Read(folder)) {
          if (IsLibrarys(name)) continue;
          ASSERT_TRUE(data == fresh.at(name) || (old.count(name) && data == old.at(name))) << name;
          anyNew = anyNew || data == fresh.at(name);
        }
        if (code == UNZIP_OK) {
          EXPECT_EQ(Read(folder), fresh);
        }
        const auto real = MakeNativeFileSystem();
        std::unique_ptr<platform::LockFile> lock;
        ASSERT_TRUE(LockFolder(*real, folder.string(), lock).ok());
        ASSERT_TRUE(RecoverFolder(*real, folder.string()).ok());
        lock.reset();
        const Files recovered = Read(folder);
        if (anyNew) {
          EXPECT_EQ(recovered, fresh);
        } else {
          EXPECT_TRUE(recovered == old || recovered == fresh);
        }
      }
    }
  }
  EXPECT_GT(ended, 0) << "no run ended at its chosen rename";
}

// Two extractions into one folder at once: the second waits for the first, and both
// succeed; neither clears the other's staged files as leftovers.
TEST(Unzip32Kill, TwoExtractionsInOneFolderTakeTurns) {
  const fs::path folder = fs::path(vlrtest::HostPath(UZ32_WORK)) / "two_at_once";
  fs::remove_all(folder);
  fs::create_directories(folder);
  Child first(folder);
  Child second(folder);
  EXPECT_EQ(first.ExitCode(), 0);
  EXPECT_EQ(second.ExitCode(), 0);
  const Files files = Read(folder);
  EXPECT_EQ(files.size(), 300u);
  for (const auto& [name, data] : files) EXPECT_FALSE(IsLibrarys(name)) << name;
}

}  // namespace
}  // namespace uz32
