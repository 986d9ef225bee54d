// The parts behind the exported functions that the interface cannot reach on every
// platform: a commit that fails half-way (made to fail by a wrapped file system), the
// stop at a member's declared size, and the fuzzer's findings replayed.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>

#include "commit_journal.h"
#include "extraction_run.h"
#include "folder_recovery.h"
#include "name_text.h"
#include "fuzz/archive_probe.h"
#include "member_decoder.h"
#include "name_patterns.h"
#include "platform/platform_text.h"
#include "tests/support/test_paths.h"
#include "reserved_names.h"
#include "transaction.h"

namespace uz32 {
namespace {

namespace fs = std::filesystem;

// The native file system with injected faults: the n-th rename fails (counting from
// 1; 0: none fails), links and replacing can be refused (as a volume without links or
// a file in use would), names matching `typeOf` get its answer, and the free space can
// be set.
class FaultyFiles final : public FileSystem {
 public:
  explicit FaultyFiles(int failAt = 0) : failAt_(failAt) {}
  int renames() const { return count_; }
  int typeQueries = 0;
  bool links = true;
  bool replaces = true;
  std::function<std::optional<PathType>(const NativeString&)> typeOf;
  std::optional<uint64_t> freeSpace;

  Status OpenArchive(const NativeString& p, std::unique_ptr<ByteSource>& out) override {
    return real_->OpenArchive(p, out);
  }
  Status CreateNew(const NativeString& p, std::unique_ptr<OutputFile>& out, bool& exists) override {
    return real_->CreateNew(p, out, exists);
  }
  Status Rename(const NativeString& from, const NativeString& to) override {
    if (++count_ == failAt_) return Status::Fail(UNZIP_ERR_DISK_FULL, "injected failure");
    return real_->Rename(from, to);
  }
  Status Replace(const NativeString& from, const NativeString& to) override {
    if (!replaces) return Status::Fail(UNZIP_ERR_DISK_FULL, "injected: in use");
    return real_->Replace(from, to);
  }
  bool Link(const NativeString& existing, const NativeString& name) override {
    return links && real_->Link(existing, name);
  }
  Status Flush(const std::vector<NativeString>& files, const NativeString& folder) override {
    return real_->Flush(files, folder);
  }
  bool Remove(const NativeString& p) override { return real_->Remove(p); }
  PathType TypeOf(const NativeString& p) override {
    ++typeQueries;
    if (typeOf) {
      if (std::optional<PathType> t = typeOf(p)) return *t;
    }
    return real_->TypeOf(p);
  }
  bool IsFolder(const NativeString& p) override { return real_->IsFolder(p); }
  std::vector<NativeString> ListFolder(const NativeString& f) override {
    return real_->ListFolder(f);
  }
  bool IsLink(const NativeString& p) override { return real_->IsLink(p); }
  Status MakeFolder(const NativeString& p) override { return real_->MakeFolder(p); }
  bool RemoveEmptyFolder(const NativeString& p) override { return real_->RemoveEmptyFolder(p); }
  std::optional<int64_t> ModifiedTime(const NativeString& p) override {
    return real_->ModifiedTime(p);
  }
  std::optional<int64_t> StampTime(const FileStamp& s) override { return real_->StampTime(s); }
  std::optional<uint64_t> FreeSpace(const NativeString& f) override {
    return freeSpace ? freeSpace : real_->FreeSpace(f);
  }

 private:
  std::unique_ptr<FileSystem> real_ = MakeNativeFileSystem();
  int failAt_;
  int count_ = 0;
};

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

TEST(Unzip32Transaction, AFailureAtAnyMoveLeavesTheFolderAsItWas) {
  const fs::path folder = fs::path(vlrtest::HostPath(UZ32_WORK)) / "transaction";
  // Three members, two replacing files. Replaced in one step (a link keeping the old
  // file), only the new member is renamed; old files that cannot be replaced (in use),
  // with or without a link, are renamed aside first: two renames each.
  struct Mode {
    bool links, replaces;
    int renames;
  };
  for (const Mode mode : {Mode{true, true, 1}, Mode{true, false, 5}, Mode{false, false, 5}}) {
    for (int failAt = 1; failAt <= mode.renames + 1; ++failAt) {
      SCOPED_TRACE(testing::Message() << "links " << mode.links << ", replaces "
                                      << mode.replaces << ", failing rename " << failAt);
      fs::remove_all(folder);
      fs::create_directories(folder);
      std::ofstream(folder / "a.txt") << "old a";
      std::ofstream(folder / "b.txt") << "old b";
      const auto before = Contents(folder);
      FaultyFiles files(failAt);
      files.links = mode.links;
      files.replaces = mode.replaces;
      {
        Transaction tx(files, NativeFromAscii(folder.string()));
        ASSERT_TRUE(StageText(tx, "a.txt", "new a").ok());
        ASSERT_TRUE(StageText(tx, "c.txt", "new c").ok());
        ASSERT_TRUE(StageText(tx, "b.txt", "new b").ok());
        const Status s = tx.Commit();
        if (failAt <= mode.renames) {
          EXPECT_EQ(s.code(), UNZIP_ERR_DISK_FULL);
          EXPECT_EQ(Contents(folder), before);
        } else {
          EXPECT_TRUE(s.ok()) << s.message();
          EXPECT_EQ(Contents(folder), (std::map<std::string, std::string>{
                                          {"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}}));
        }
      }
      EXPECT_GE(files.renames(), std::min(failAt, mode.renames));
    }
  }
}

bool IsAsideName(const NativeString& p) {
  const NativeString old = NativeFromAscii(".old");
  return p.size() > old.size() && p.compare(p.size() - old.size(), old.size(), old) == 0;
}

TEST(Unzip32Transaction, TheSearchForAnAsideNameIsBoundedAndFailsOnErrors) {
  const fs::path folder = fs::path(vlrtest::HostPath(UZ32_WORK)) / "aside";
  // A name that cannot be asked about (a share gone), and names that are all taken.
  for (PathType answer : {PathType::Other, PathType::File}) {
    SCOPED_TRACE(static_cast<int>(answer));
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::ofstream(folder / "a.txt") << "old a";
    std::ofstream(folder / "b.txt") << "old b";
    const auto before = Contents(folder);
    FaultyFiles files;
    int asideQueries = 0;
    {
      Transaction tx(files, NativeFromAscii(folder.string()));
      ASSERT_TRUE(StageText(tx, "c.txt", "new c").ok());
      ASSERT_TRUE(StageText(tx, "a.txt", "new a").ok());
      ASSERT_TRUE(StageText(tx, "b.txt", "new b").ok());
      int replaced = 0;
      files.typeOf = [&](const NativeString& p) -> std::optional<PathType> {
        if (!IsAsideName(p)) return std::nullopt;
        ++asideQueries;
        // The first old file finds its name; the second meets the fault.
        if (replaced == 0) {
          ++replaced;
          return PathType::Missing;
        }
        return answer;
      };
      const Status s = tx.Commit();
      EXPECT_EQ(s.code(), UNZIP_ERR_DISK_FULL);
    }
    EXPECT_EQ(Contents(folder), before);  // rolled back: c.txt gone, a.txt old again
    EXPECT_LE(asideQueries, 1 + Transaction::kReservedNameTries);
    EXPECT_EQ(asideQueries, answer == PathType::Other ? 2 : 1 + Transaction::kReservedNameTries);
  }
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

TEST(Unzip32Transaction, AFailedCommitRemovesTheFoldersItMade) {
  const fs::path root = fs::path(vlrtest::HostPath(UZ32_WORK)) / "folders_rollback";
  const fs::path folder = root / "target";
  // tree.zip: five files, one replacing sub/inner.txt (renamed aside: no links here):
  // six renames in all.
  const int kRenames = 6;
  for (int failAt = 1; failAt <= kRenames + 1; ++failAt) {
    SCOPED_TRACE(failAt);
    fs::remove_all(root);
    fs::create_directories(folder / "sub");
    std::ofstream(root / "outside.txt") << "outside";
    std::ofstream(folder / "sub" / "inner.txt") << "old inner";
    const auto before = Tree(root);
    const RunOptions options = TreeIntoFolder(folder);
    Reporter reporter(nullptr, 2);
    FaultyFiles files(failAt);
    files.links = false;
    const int32_t rc = RunUnzip(options, reporter, files);
    if (failAt <= kRenames) {
      EXPECT_EQ(rc, UNZIP_ERR_DISK_FULL);
      EXPECT_EQ(Tree(root), before);
    } else {
      EXPECT_EQ(rc, UNZIP_OK);
      EXPECT_EQ(Slurp(folder / "top" / "mid" / "deep.txt"), "deep");
      EXPECT_TRUE(fs::is_directory(folder / "top" / "empty"));
    }
  }
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
