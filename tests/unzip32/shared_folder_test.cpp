// A folder other programs work in meanwhile: a subfolder swapped for a link before any
// step of a commit or a recovery, questions asked while workers stage members, and an
// archive whose commit journal no recovery could read back.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "commit_journal.h"
#include "extraction_run.h"
#include "faulty_files.h"
#include "folder_recovery.h"
#include "os/platform_text.h"
#include "reserved_names.h"
#include "transaction.h"
#include "reporter.h"
#include "tests/support/scoped_env.h"
#include "tests/support/test_paths.h"
#include "tests/support/zip_writer.h"
#include "unzip32.h"

namespace uz32 {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Every file and folder below root (links as "<link>", not followed).
[[maybe_unused]] Files Tree(const fs::path& root) {
  Files m;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    m[e.path().lexically_relative(root).generic_string()] =
        e.is_symlink() ? "<link>" : e.is_directory() ? std::string("<folder>") : Slurp(e.path());
  }
  return m;
}

void Put(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

fs::path FreshFolder(const char* name) {
  const fs::path folder = fs::path(vlrtest::HostPath(UZ32_WORK)) / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

RunOptions Options(const fs::path& archive, const fs::path& folder) {
  RunOptions options;
  options.archive = NativeFromAscii(archive.string());
  options.archiveUtf8 = archive.filename().string();
  options.folder = NativeFromAscii(folder.string());
  options.overwrite = OverwritePolicy::Always;
  options.recreateFolders = true;
  return options;
}

#ifndef _WIN32

// Before step n: target/sub becomes target/moved, and a link to outside takes its name.
std::function<void(int)> SwapBefore(int n, const fs::path& target, bool& swapped) {
  return [n, target, &swapped](int step) {
    if (step != n) return;
    fs::rename(target / "sub", target / "moved");
    fs::create_directory_symlink("../outside", target / "sub");
    swapped = true;
  };
}

// The target with its subfolder and old files, and the other folder with its one file.
void ResetFolders(const fs::path& target, const fs::path& outside) {
  fs::remove_all(target);
  fs::remove_all(outside);
  fs::create_directories(target / "sub");
  fs::create_directories(outside);
  Put(outside / "x.txt", "outside");
  Put(target / "a.txt", "old a");
  Put(target / "sub" / "inner.txt", "old inner");
}

// An extraction into a folder whose subfolder is swapped for a link to another folder
// before its n-th step, for every n: nothing ever reaches the other folder. A swap
// before the run first went into the subfolder fails it with every file old; after,
// the run goes on in the subfolder it holds, wherever that was moved.
TEST(Unzip32SharedFolder, ASubfolderSwappedForALinkBeforeAnyStepLeadsNowhereElse) {
  const vlrtest::ScopedEnv oneWorker("UZ32_WORKERS", "1");  // steps in one order
  const fs::path root = FreshFolder("swap_run");
  const fs::path target = root / "target";
  const fs::path outside = root / "outside";
  Put(root / "package.zip", vlrtest::StoredZip({{"a.txt", "new a"},
                                                {"sub/inner.txt", "new inner"},
                                                {"sub/added.txt", "new added"},
                                                {"z.txt", "new z"}}));
  int refused = 0;
  int finished = 0;
  for (int n = 1;; ++n) {
    SCOPED_TRACE(testing::Message() << "swapped before step " << n);
    ResetFolders(target, outside);
    Put(target / "z.txt", "old z");
    bool swapped = false;
    FaultyFiles files;
    files.beforeStep = SwapBefore(n, target, swapped);
    Reporter reporter(nullptr, 2);
    const int32_t rc = RunUnzip(Options(root / "package.zip", target), reporter, files);
    files.beforeStep = nullptr;
    EXPECT_EQ(Tree(outside), (Files{{"x.txt", "outside"}}));
    if (!swapped) {
      EXPECT_EQ(rc, UNZIP_OK);
      break;  // n is past the last step
    }
    if (rc == UNZIP_OK) {
      ++finished;
      EXPECT_EQ(Tree(target), (Files{{"a.txt", "new a"},
                                     {"moved", "<folder>"},
                                     {"moved/added.txt", "new added"},
                                     {"moved/inner.txt", "new inner"},
                                     {"sub", "<link>"},
                                     {"z.txt", "new z"}}));
    } else {
      ++refused;
      EXPECT_EQ(rc, UNZIP_ERR_DISK_FULL);
      EXPECT_EQ(Tree(target), (Files{{"a.txt", "old a"},
                                     {"moved", "<folder>"},
                                     {"moved/inner.txt", "old inner"},
                                     {"sub", "<link>"},
                                     {"z.txt", "old z"}}));
    }
    ASSERT_LT(n, 200);
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(finished, 0);
}

// A recovery that finishes a commit into a subfolder swapped for a link before its n-th
// step, for every n: nothing reaches the other folder, and the recovery ends with every
// file new where the subfolder now lies, or with the entry it cannot place left out.
TEST(Unzip32SharedFolder, ARecoveryNeverFollowsASubfolderSwappedForALink) {
  const fs::path root = FreshFolder("swap_recovery");
  const fs::path target = root / "target";
  const fs::path outside = root / "outside";
  Journal journal;
  journal.folders = {NativeFromAscii("sub")};
  journal.files = {{NativeFromAscii(".~uz32-7-1.tmp"), NativeFromAscii("a.txt")},
                   {NativeFromAscii(".~uz32-7-2.tmp"), NativeFromAscii("sub/inner.txt")},
                   {NativeFromAscii(".~uz32-7-3.tmp"), NativeFromAscii("sub/added.txt")}};
  for (int n = 1;; ++n) {
    SCOPED_TRACE(testing::Message() << "swapped before step " << n);
    ResetFolders(target, outside);
    Put(target / ".~uz32-7-1.tmp", "new a");
    Put(target / ".~uz32-7-2.tmp", "new inner");
    Put(target / ".~uz32-7-3.tmp", "new added");
    Put(target / kJournalNameAscii, FormatJournal(journal));
    bool swapped = false;
    FaultyFiles files;
    files.beforeStep = SwapBefore(n, target, swapped);
    const Status s = RecoverFolder(files, NativeFromAscii(target.string()));
    files.beforeStep = nullptr;
    EXPECT_EQ(Tree(outside), (Files{{"x.txt", "outside"}}));
    if (!swapped) break;
    if (!s.ok()) {
      EXPECT_EQ(s.code(), UNZIP_ERR_UNFINISHED);
      EXPECT_TRUE(RecoverFolder(files, NativeFromAscii(target.string())).ok());
      EXPECT_EQ(Tree(outside), (Files{{"x.txt", "outside"}}));
    }
    // An entry whose folder became a link is left out: its file stays as it was.
    const Files after = Tree(target);
    EXPECT_EQ(after.at("a.txt"), "new a");
    EXPECT_EQ(after.at("sub"), "<link>");
    const auto inner = after.find("moved/inner.txt");
    ASSERT_NE(inner, after.end());
    EXPECT_TRUE(inner->second == "new inner" || inner->second == "old inner") << inner->second;
    const auto added = after.find("moved/added.txt");
    if (added != after.end()) {
      EXPECT_EQ(added->second, "new added");
    }
    for (const auto& [name, content] : after) {
      EXPECT_EQ(name.find(".~uz32"), std::string::npos) << name;
    }
    ASSERT_LT(n, 200);
  }
}

#endif

// A link planted at the next staged name (they are predictable), leading nowhere yet:
// the name counts as taken, and nothing is made where the link leads.
TEST(Unzip32SharedFolder, AStagedNameTakenByALinkIsPassedOver) {
  const fs::path root = FreshFolder("staged_link");
  const fs::path folder = root / "target";
  fs::create_directories(folder);
#ifdef _WIN32
  if (!CreateSymbolicLinkW((folder / StagedName(0)).c_str(), (root / "victim.txt").c_str(), 0)) {
    GTEST_SKIP() << "symbolic links cannot be made here (error " << GetLastError() << ")";
  }
#else
  fs::create_symlink(root / "victim.txt", folder / StagedName(0));
#endif
  const auto files = MakeNativeFileSystem();
  Transaction tx(*files, NativeFromAscii(folder.string()));
  ASSERT_TRUE(tx.Stage(NativeFromAscii("a.txt"), FileStamp{}, [](OutputFile& f) {
                  const std::string text = "new a";
                  return f.Write({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
                }).ok());
  ASSERT_TRUE(tx.Commit().ok());
  EXPECT_FALSE(fs::exists(root / "victim.txt"));
  EXPECT_EQ(Slurp(folder / "a.txt"), "new a");
}

// What the replace procedure was asked, for the runs that use AskInto.
int replaceAsks = 0;
int32_t UZ_WINAPI AskInto(char*) {
  ++replaceAsks;
  return UNZIP_REPLACE_YES;
}

// In two_bad_crcs.zip the 11th member, large, has a bad CRC. Whatever the number of
// workers, a run that asks before replacing asks nothing after that member: a question
// waits until the members before it are staged.
TEST(Unzip32SharedFolder, NoQuestionIsAskedAfterAFailedMemberWhateverTheWorkers) {
  for (const unsigned workers : {1u, 4u}) {
    SCOPED_TRACE(testing::Message() << workers << " workers");
    const fs::path folder = FreshFolder("ask_after_failure");
    for (int i = 11; i < 24; ++i) Put(folder / ("m" + std::to_string(i) + ".txt"), "old");
    RunOptions options = Options(fs::path(UZ32_FIXTURES) / "two_bad_crcs.zip", folder);
    options.overwrite = OverwritePolicy::Ask;
    const vlrtest::ScopedEnv forced("UZ32_WORKERS", std::to_string(workers).c_str());
    UnzipCallbacksRecord callbacks{};
    callbacks.Replace = AskInto;
    Reporter reporter(&callbacks, 2);
    replaceAsks = 0;
    const auto files = MakeNativeFileSystem();
    EXPECT_EQ(RunUnzip(options, reporter, *files), UNZIP_ERR_FORMAT);
    EXPECT_EQ(replaceAsks, 0);
  }
}

#ifndef _WIN32
// Folders nested deep under 34 top folders: the folders' lines alone would make a
// journal longer than a recovery reads. The run refuses before it stages anything.
// (The rule is the same on both systems; under Wine the plan alone takes a minute.)
TEST(Unzip32SharedFolder, AnArchiveWhoseJournalWouldBeTooLongIsRefusedUntouched) {
  const fs::path root = FreshFolder("long_journal");
  const fs::path folder = root / "target";
  fs::create_directories(folder);
  Put(folder / "keep.txt", "keep");
  const std::string level = std::string(250, 'f') + "/";
  std::vector<std::pair<std::string, std::string>> members;
  uint64_t folderBytes = 0;
  for (int top = 0; top < 34; ++top) {
    std::string name = "d" + std::to_string(top) + "/";
    folderBytes += name.size();
    while (name.size() + level.size() < 65000) {
      name += level;
      folderBytes += name.size();
    }
    members.emplace_back(name + "x.txt", "x");
  }
  ASSERT_GT(folderBytes, kLongestJournal);
  Put(root / "deep.zip", vlrtest::StoredZip(members));
  const auto before = Tree(folder);
  FaultyFiles files;
  Reporter reporter(nullptr, 2);
  EXPECT_EQ(RunUnzip(Options(root / "deep.zip", folder), reporter, files), UNZIP_ERR_UNSUPPORTED);
  EXPECT_EQ(Tree(folder), before);
  EXPECT_EQ(files.moves(), 0);
}
#endif

}  // namespace
}  // namespace uz32
