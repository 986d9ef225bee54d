// The parts behind the exported functions that the interface cannot reach on every
// platform: a commit that fails half-way (made to fail by a wrapped file system),
// recovery from journals good and hostile, the folder's lock, the stop at a member's
// declared size, and the fuzzer's findings replayed.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>

#include "commit_journal.h"
#include "extraction_run.h"
#include "unzip32.h"
#include "faulty_files.h"
#include "folder_recovery.h"
#include "name_text.h"
#include "fuzz/archive_probe.h"
#include "member_decoder.h"
#include "name_patterns.h"
#include "os/platform_text.h"
#include "tests/support/test_paths.h"
#include "reserved_names.h"
#include "transaction.h"

namespace uz32 {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::map<std::string, std::string> Contents(const fs::path& folder) {
  std::map<std::string, std::string> m;
  for (const auto& e : fs::directory_iterator(folder)) m[e.path().filename().string()] = Slurp(e.path());
  return m;
}

// Every file and folder below root: relative path -> content, or "<folder>".
std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> m;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    m[fs::relative(e.path(), root).generic_string()] =
        e.is_directory() ? std::string("<folder>") : Slurp(e.path());
  }
  return m;
}

Status StageText(Transaction& tx, const char* name, const std::string& text) {
  return tx.Stage(NativeFromAscii(name), FileStamp{}, [&](OutputFile& f) {
    return f.Write({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
  });
}

void Put(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// UZ32_WORKERS, the library's worker count, set for the life of the object.
class ForcedWorkers {
 public:
  explicit ForcedWorkers(unsigned workers) { Set(std::to_string(workers).c_str()); }
  ~ForcedWorkers() { Set(nullptr); }
  ForcedWorkers(const ForcedWorkers&) = delete;
  ForcedWorkers& operator=(const ForcedWorkers&) = delete;

 private:
  static void Set(const char* value) {
#ifdef _WIN32
    _putenv_s("UZ32_WORKERS", value ? value : "");  // "" removes it
#else
    if (value) {
      setenv("UZ32_WORKERS", value, 1);
    } else {
      unsetenv("UZ32_WORKERS");
    }
#endif
  }
};

fs::path FreshFolder(const char* name) {
  const fs::path folder = fs::path(vlrtest::HostPath(UZ32_WORK)) / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

TEST(Unzip32Recovery, AnInterruptedCommitIsFinishedFromItsJournal) {
  const fs::path folder = FreshFolder("recovery_journal");
  // Cut short in the commit of a.txt, b.txt, c.txt and sub/d.txt: a.txt is in place
  // (its old file kept under a second name), b.txt's old file was renamed aside (in
  // use) before the new one came, c.txt and sub/d.txt (with its folder) still wait.
  Put(folder / "a.txt", "new a");
  Put(folder / ".~uz32-7-4-a.txt.old", "old a");
  Put(folder / ".~uz32-7-5-b.txt.old", "old b");
  Put(folder / ".~uz32-7-1.tmp", "new b");
  Put(folder / "c.txt", "old c");
  Put(folder / ".~uz32-7-2.tmp", "new c");
  Put(folder / ".~uz32-7-3.tmp", "new d");
  Put(folder / "keep.txt", "not in the package");
  Journal journal;
  journal.folders = {NativeFromAscii("sub")};
  for (const char* pair : {"0a.txt", "1b.txt", "2c.txt", "3sub/d.txt"}) {
    journal.files.push_back(JournalFile{NativeFromAscii(std::string(".~uz32-7-") + pair[0] + ".tmp"),
                                        NativeFromAscii(pair + 1)});
  }
  Put(folder / kJournalNameAscii, FormatJournal(journal));
  const auto files = MakeNativeFileSystem();
  EXPECT_TRUE(RecoverFolder(*files, NativeFromAscii(folder.string())).ok());
  EXPECT_EQ(Tree(folder), (std::map<std::string, std::string>{{"a.txt", "new a"},
                                                              {"b.txt", "new b"},
                                                              {"c.txt", "new c"},
                                                              {"keep.txt", "not in the package"},
                                                              {"sub", "<folder>"},
                                                              {"sub/d.txt", "new d"}}));
}

TEST(Unzip32Recovery, WithoutAWholeJournalOldFilesStayOrComeBack) {
  const fs::path folder = FreshFolder("recovery_no_journal");
  // Cut short while its journal was written, before any rename: a.txt stays old.
  Put(folder / "a.txt", "old a");
  Put(folder / ".~uz32-7-0.tmp", "new a");
  Journal journal;
  journal.files.push_back(JournalFile{NativeFromAscii(".~uz32-7-0.tmp"), NativeFromAscii("a.txt")});
  const std::string text = FormatJournal(journal);
  Put(folder / kJournalNameAscii, text.substr(0, text.size() - 2));
  // Left by a run without a journal: b.txt's old file aside and its name missing (it
  // comes back); c.txt's old file, aside while in use, after c.txt was replaced (it
  // goes); an aside file that does not say where it belongs (it goes).
  Put(folder / ".~uz32-8-4-b.txt.old", "old b");
  Put(folder / ".~uz32-8-5-c.txt.old", "older c");
  Put(folder / "c.txt", "new c");
  Put(folder / ".~uz32-8-6.old", "unknown");
  Put(folder / ".~uz32-8-1.tmp", "partial");
  const auto files = MakeNativeFileSystem();
  EXPECT_TRUE(RecoverFolder(*files, NativeFromAscii(folder.string())).ok());
  EXPECT_EQ(Tree(folder), (std::map<std::string, std::string>{
                              {"a.txt", "old a"}, {"b.txt", "old b"}, {"c.txt", "new c"}}));
}

// tree.zip unpacked into `folder` with its folders recreated, replacing what is there.
RunOptions TreeIntoFolder(const fs::path& folder) {
  RunOptions options;
  options.archive = NativeFromAscii(std::string(UZ32_FIXTURES) + "/tree.zip");
  options.archiveUtf8 = "tree.zip";
  options.folder = NativeFromAscii(folder.string());
  options.overwrite = OverwritePolicy::Always;
  options.recreateFolders = true;
  return options;
}

TEST(Unzip32Run, APackageLargerThanTheFreeSpaceWritesNothing) {
  const fs::path folder = fs::path(vlrtest::HostPath(UZ32_WORK)) / "free_space";
  const RunOptions options = TreeIntoFolder(folder);
  // tree.zip's members are small: the margin decides.
  for (uint64_t free : {uint64_t{0}, uint64_t{1} << 20, uint64_t{15} << 20, uint64_t{64} << 20}) {
    SCOPED_TRACE(free);
    fs::remove_all(folder);
    fs::create_directories(folder / "sub");
    std::ofstream(folder / "sub" / "inner.txt") << "old inner";
    const auto before = Tree(folder);
    Reporter reporter(nullptr, 2);
    FaultyFiles files;
    files.freeSpace = free;
    const int32_t rc = RunUnzip(options, reporter, files);
    if (free < (uint64_t{16} << 20)) {
      EXPECT_EQ(rc, UNZIP_ERR_DISK_FULL);
      EXPECT_EQ(Tree(folder), before);
    } else {
      EXPECT_EQ(rc, UNZIP_OK);
      EXPECT_NE(Tree(folder), before);
    }
  }
}

// What the print procedure was given, for the run that uses PrintInto.
std::string printed;
int32_t UZ_WINAPI PrintInto(char* text, int32_t length) {
  printed.append(text, static_cast<size_t>(length));
  return 0;
}

int32_t RunPrinting(const RunOptions& options, FileSystem& files) {
  printed.clear();
  UnzipCallbacksRecord callbacks{};
  callbacks.Print = PrintInto;
  Reporter reporter(&callbacks, 0);
  return RunUnzip(options, reporter, files);
}

// tree.zip over a folder holding two of its files, with every rename and replace from
// the n-th on refused: on volumes with links, without them, and with every old file in
// use (renamed aside first). The run either puts everything back and says so, or
// leaves the commit unfinished and says that, and the recovery then makes it all new.
// No name is missing, unless both moves of a file in use were refused (the recovery
// fills it).
TEST(Unzip32Transaction, AFailedCommitEndsAllOldOrIsFinishedByTheRecovery) {
  const fs::path root = FreshFolder("commit_sweep");
  const fs::path reference = root / "reference";
  const fs::path folder = root / "target";
  fs::create_directories(reference);
  const auto real = MakeNativeFileSystem();
  ASSERT_EQ(RunUnzip(TreeIntoFolder(reference), *std::make_unique<Reporter>(nullptr, 2), *real), 0);
  const auto fresh = Tree(reference);
  struct Mode {
    bool links, replaces;
  };
  int undone = 0;
  int unfinished = 0;
  for (const Mode mode : {Mode{true, true}, Mode{false, true}, Mode{true, false}}) {
    for (int n = 1;; ++n) {
      SCOPED_TRACE(testing::Message() << "links " << mode.links << ", replaces " << mode.replaces
                                      << ", refused from move " << n);
      fs::remove_all(folder);
      fs::create_directories(folder / "sub");
      Put(folder / "sub" / "inner.txt", "old inner");
      Put(folder / "root.txt", "old root");
      const auto before = Tree(folder);
      FaultyFiles files;
      files.links = mode.links;
      files.replaces = mode.replaces;
      files.failFrom = n;
      const int32_t rc = RunPrinting(TreeIntoFolder(folder), files);
      if (rc == UNZIP_OK) {
        EXPECT_EQ(Tree(folder), fresh);
        break;  // n is past the last move
      }
      if (rc != UNZIP_ERR_UNFINISHED || mode.replaces) {
        EXPECT_TRUE(fs::exists(folder / "sub" / "inner.txt") && fs::exists(folder / "root.txt"));
      }
      if (rc == UNZIP_ERR_DISK_FULL) {
        ++undone;
        EXPECT_NE(printed.find("the folder is as it was"), std::string::npos) << printed;
        EXPECT_EQ(Tree(folder), before);
      } else {
        ASSERT_EQ(rc, UNZIP_ERR_UNFINISHED) << printed;
        ++unfinished;
        EXPECT_EQ(printed.find("as it was"), std::string::npos) << printed;
        EXPECT_NE(printed.find("the commit is not finished"), std::string::npos) << printed;
        EXPECT_TRUE(fs::exists(folder / kJournalNameAscii));
        EXPECT_TRUE(RecoverFolder(*real, NativeFromAscii(folder.string())).ok());
        EXPECT_EQ(Tree(folder), fresh);
      }
      ASSERT_LT(n, 100);
    }
  }
  EXPECT_GT(undone, 0);
  EXPECT_GT(unfinished, 0);
}

// A member that fails on a worker (a bad CRC, a write error) fails the run as a run
// staging one member after the other would: with the first failure in the archive's
// order, the lines of the members before it, and the folder as it was. In
// two_bad_crcs.zip the workers meet the second, small, bad member while the first,
// large, one is still being decoded.
TEST(Unzip32Run, AMemberThatFailsOnAWorkerFailsTheRunAndChangesNothing) {
  struct Case {
    const char* archive;
    int failWritesOf;
    int32_t code;
    std::string printedUpTo;  // "" for "any member": which one meets the write error varies
  };
  std::string m00To09;
  for (int i = 0; i < 10; ++i) m00To09 += "  inflating: m0" + std::to_string(i) + ".txt\n";
  const std::vector<Case> cases = {
      {"bad_crc_last.zip", 0, UNZIP_ERR_FORMAT,
       "  inflating: one.txt\n  inflating: two.txt\nerror: three.txt: bad CRC "},
      {"two_bad_crcs.zip", 0, UNZIP_ERR_FORMAT, m00To09 + "error: m10.txt: bad CRC "},
      {"many.zip", 100, UNZIP_ERR_DISK_FULL, ""},
  };
  for (const unsigned workers : {1u, 4u}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.archive << ", " << workers << " workers");
      const fs::path folder = FreshFolder("worker_failure");
      for (const char* name : {"two.txt", "m05.txt", "m21.txt", "member100.dat"}) {
        Put(folder / name, "old");
      }
      const auto before = Tree(folder);
      RunOptions options;
      options.archive = NativeFromAscii(std::string(UZ32_FIXTURES) + "/" + c.archive);
      options.archiveUtf8 = c.archive;
      options.folder = NativeFromAscii(folder.string());
      options.overwrite = OverwritePolicy::Always;
      const ForcedWorkers forced(workers);
      FaultyFiles files;
      files.failWritesOf = c.failWritesOf;
      EXPECT_EQ(RunPrinting(options, files), c.code) << printed;
      const std::string archiveLine = std::string("Archive:  ") + c.archive + "\n";
      EXPECT_EQ(printed.substr(0, archiveLine.size() + c.printedUpTo.size()),
                archiveLine + c.printedUpTo);
      if (c.failWritesOf) {
        EXPECT_NE(printed.find("injected write failure"), std::string::npos) << printed;
      }
      EXPECT_NE(printed.find("the folder is as it was"), std::string::npos) << printed;
      EXPECT_EQ(Tree(folder), before);
    }
  }
}

// A commit must not replace a file that a target's name reaches under another name:
// Windows' short names also reach the library's own staged files and journal, which
// exist only from staging on.
TEST(Unzip32Transaction, ATargetThatReachesAWorkingFileIsRefusedAndTakenBack) {
  const fs::path folder = FreshFolder("commit_alias");
  Put(folder / "a.txt", "old a");
  Put(folder / "UZ32~1.TMP", "old alias");
  const auto before = Contents(folder);
  FaultyFiles files;
  files.listedName = [](const NativeString& p) -> std::optional<NativeString> {
    if (p.find(NativeFromAscii("UZ32~1.TMP")) == NativeString::npos) return std::nullopt;
    return NativeFromAscii(".~uz32-1-0.tmp");
  };
  Transaction tx(files, NativeFromAscii(folder.string()));
  ASSERT_TRUE(StageText(tx, "a.txt", "new a").ok());
  ASSERT_TRUE(StageText(tx, "UZ32~1.TMP", "new alias").ok());
  const Status s = tx.Commit();
  EXPECT_EQ(s.code(), UNZIP_ERR_DISK_FULL);
  EXPECT_NE(s.message().find("short name"), std::string::npos) << s.message();
  EXPECT_EQ(Contents(folder), before);
}

TEST(Unzip32Transaction, TheSearchForAnAsideNameIsBoundedAndFailsOnErrors) {
  const fs::path folder = FreshFolder("aside");
  // A name that cannot be asked about (a share gone), and names that are all taken.
  for (PathType answer : {PathType::Other, PathType::File}) {
    FaultyFiles files;
    files.typeOf = [&](const NativeString&) { return answer; };
    unsigned long counter = 0;
    NativeString path;
    const Status s = FindAsidePath(files, NativeFromAscii(folder.string()),
                                   NativeFromAscii("a.txt"), counter, path);
    EXPECT_EQ(s.code(), UNZIP_ERR_DISK_FULL);
    EXPECT_EQ(files.typeQueries, answer == PathType::Other ? 1 : kReservedNameTries);
  }
}

// Journals no commit of the library writes, each with a staged file beside it: none
// changes anything outside the folder or any user file, none stays, and the next
// extraction succeeds.
TEST(Unzip32Recovery, AHostileJournalIsDroppedAndBlocksNothing) {
  const fs::path root = FreshFolder("hostile");
  const fs::path folder = root / "target";
  const fs::path outside = root / "outside";
  const std::string staged = ".~uz32-1-1.tmp";
  std::vector<std::string> targets = {
      std::string("..\0/x", 5), "a\x01" "b", "x.", "x ", "CON", "con.txt",
      ".~UZ32-commit.journal", ".~Uz32-1-2.tmp", "sub", "a/../../x", "C:x", "a:stream"};
#ifndef _WIN32
  targets.push_back("data/made");  // data is a link to outside
#endif
  for (const std::string& target : targets) {
    for (const bool asFolder : {false, true}) {
      SCOPED_TRACE(testing::Message() << (asFolder ? "folder " : "file ") << target);
      fs::remove_all(root);
      fs::create_directories(folder / "sub");
      fs::create_directories(outside);
      Put(outside / "x", "outside");
      Put(folder / "sub" / "user.txt", "user");
      Put(folder / "keep.txt", "keep");
#ifndef _WIN32
      fs::create_directory_symlink("../outside", folder / "data");
#endif
      const auto before = Tree(folder);
      Put(folder / staged, "evil");
      const std::string line = asFolder ? "folder\t" + target + "\n"
                                        : "file\t" + staged + "\t" + target + "\n";
      Put(folder / kJournalNameAscii, "uz32 commit journal 1\n" + line + "end\t1\n");
      const auto files = MakeNativeFileSystem();
      EXPECT_TRUE(RecoverFolder(*files, NativeFromAscii(folder.string())).ok());
      EXPECT_EQ(Tree(outside), (std::map<std::string, std::string>{{"x", "outside"}}));
      EXPECT_EQ(Tree(folder), before);
      EXPECT_EQ(RunUnzip(TreeIntoFolder(folder), *std::make_unique<Reporter>(nullptr, 2), *files),
                UNZIP_OK);
    }
  }
}

// One extraction at a time per folder: while another holds the lock, an extraction
// waits, then gives up without touching the other's staged file; once it is let go,
// the extraction goes ahead.
TEST(Unzip32Run, AnExtractionWaitsForAnotherInTheSameFolder) {
  const fs::path folder = FreshFolder("locked");
  Put(folder / ".~uz32-999999-0.tmp", "the other run's");
  FaultyFiles files;
  std::unique_ptr<platform::LockFile> other;
  ASSERT_TRUE(LockFolder(files, NativeFromAscii(folder.string()), other).ok());
  EXPECT_EQ(RunPrinting(TreeIntoFolder(folder), files), UNZIP_ERR_FOLDER_BUSY);
  EXPECT_NE(printed.find("another extraction"), std::string::npos) << printed;
  EXPECT_EQ(Slurp(folder / ".~uz32-999999-0.tmp"), "the other run's");
  EXPECT_FALSE(fs::exists(folder / "root.txt"));
  other.reset();
  EXPECT_EQ(RunPrinting(TreeIntoFolder(folder), files), UNZIP_OK);
  EXPECT_EQ(Slurp(folder / "root.txt"), "root");
  EXPECT_FALSE(fs::exists(folder / ".~uz32-999999-0.tmp"));
}

TEST(Unzip32Transaction, AFailedOrAbandonedStageLeavesNoTemporaryFile) {
  const fs::path folder = fs::path(vlrtest::HostPath(UZ32_WORK)) / "stage";
  fs::remove_all(folder);
  fs::create_directories(folder);
  auto files = MakeNativeFileSystem();
  {
    Transaction tx(*files, NativeFromAscii(folder.string()));
    const Status s = tx.Stage(NativeFromAscii("x.txt"), FileStamp{}, [](OutputFile&) {
      return Status::Fail(UNZIP_ERR_FORMAT, "bad data");
    });
    EXPECT_EQ(s.code(), UNZIP_ERR_FORMAT);
    EXPECT_TRUE(fs::is_empty(folder));
    ASSERT_TRUE(StageText(tx, "y.txt", "y").ok());
    EXPECT_FALSE(fs::is_empty(folder));
  }  // not committed
  EXPECT_TRUE(fs::is_empty(folder));
}

#ifndef _WIN32
TEST(Unzip32Transaction, ACommitNeverMakesFoldersThroughALink) {
  const fs::path root = fs::path(vlrtest::HostPath(UZ32_WORK)) / "commit_link";
  fs::remove_all(root);
  fs::create_directories(root / "target");
  fs::create_directories(root / "elsewhere");
  fs::create_directory_symlink("../elsewhere", root / "target" / "link");
  const auto before = Tree(root);
  auto files = MakeNativeFileSystem();
  Transaction tx(*files, NativeFromAscii((root / "target").string()));
  tx.AddFolder(NativeFromAscii("made"));
  tx.AddFolder(NativeFromAscii("link"));
  tx.AddFolder(NativeFromAscii("link/deeper"));
  ASSERT_TRUE(StageText(tx, "link/x.txt", "x").ok());
  const Status s = tx.Commit();
  EXPECT_EQ(s.code(), UNZIP_ERR_DISK_FULL);
  EXPECT_NE(s.message().find("links are not followed"), std::string::npos) << s.message();
  EXPECT_EQ(Tree(root), before);  // "made" is gone again, nothing reached "elsewhere"
}
#endif

TEST(Unzip32Patterns, WildcardsSetsAndCase) {
  struct Case {
    std::u32string pattern, name;
    bool ignoreCase, matches;
  };
  const Case cases[] = {
      {U"*", U"", false, true},           {U"*", U"a/b/c", false, true},
      {U"a*c", U"abbbc", false, true},    {U"a*c", U"abbbd", false, false},
      {U"*.txt", U"d/x.txt", false, true}, {U"*.txt", U"x.txt.bak", false, false},
      {U"?", U"", false, false},          {U"??", U"ab", false, true},
      {U"a?c", U"a/c", false, true},      {U"[abc]1", U"b1", false, true},
      {U"[a-c]1", U"d1", false, false},   {U"[!a-c]1", U"d1", false, true},
      {U"[^a]", U"a", false, false},      {U"[]]", U"]", false, true},
      {U"[ab", U"[ab", false, true},      {U"[ab", U"a", false, false},
      {U"A*.TXT", U"abc.txt", false, false}, {U"A*.TXT", U"abc.txt", true, true},
      {U"[A-C]", U"b", true, true},       {U"a/b", U"a\\b", false, true},
      {U"*a*a*a*a*a*a*a*a*a*b", std::u32string(4000, U'a'), false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesPattern(c.pattern, c.name, c.ignoreCase), c.matches)
        << ToUtf8(c.pattern) << " / " << ToUtf8(c.name).substr(0, 40);
  }
}

class CountingSink final : public ByteSink {
 public:
  Status Write(std::span<const uint8_t> data) override {
    total += data.size();
    return Status::Ok();
  }
  uint64_t total = 0;
};

TEST(Unzip32Decoder, InflatingStopsAtTheDeclaredSize) {
  const std::vector<uint8_t> zeros(4 << 20);
  std::vector<uint8_t> packed(compressBound(static_cast<uLong>(zeros.size())));
  z_stream z{};
  ASSERT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  z.next_in = const_cast<uint8_t*>(zeros.data());
  z.avail_in = static_cast<uInt>(zeros.size());
  z.next_out = packed.data();
  z.avail_out = static_cast<uInt>(packed.size());
  ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  packed.resize(z.total_out);
  deflateEnd(&z);

  MemorySource src(packed.data(), packed.size());
  for (uint64_t declared : {uint64_t{0}, uint64_t{1000}, uint64_t{(4 << 20) - 1}}) {
    ZipEntry e;
    e.method = kMethodDeflated;
    e.compressedSize = packed.size();
    e.uncompressedSize = declared;
    MemberSpan where{0, 0, packed.size()};
    CountingSink sink;
    DecodeBuffers buffers;
    const Status s = DecodeMember(src, e, where, {}, sink, buffers);
    EXPECT_EQ(s.code(), UNZIP_ERR_FORMAT) << declared;
    EXPECT_NE(s.message().find("longer than its declared size"), std::string::npos);
    EXPECT_LE(sink.total, declared);
  }
}

TEST(Unzip32Regressions, FuzzFindingsAreReadWithoutHarm) {
  const fs::path dir = vlrtest::HostPath(UZ32_REGRESSIONS);
  size_t replayed = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().extension() == ".md") continue;
    const std::string bytes = Slurp(e.path());
    SCOPED_TRACE(e.path().filename().string());
    const std::string name = e.path().stem().string();
    const size_t at = name.rfind("-result-");
    ASSERT_NE(at, std::string::npos) << "name it ...-result-<code>.zip";
    const int32_t rc = ProbeArchive(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(rc, std::stoi(name.substr(at + 8)));
    ++replayed;
  }
  EXPECT_GT(replayed, 0u);
}

}  // namespace
}  // namespace uz32
