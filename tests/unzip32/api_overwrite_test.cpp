// Existing files: the overwrite options and the answers of the replace procedure, the
// service procedure's stop, leftovers of an earlier run, and (Windows) files in use.
#include <gtest/gtest.h>

#include "unzip32_harness.h"

#ifdef _WIN32
#include <windows.h>

#include "tests/support/test_paths.h"
#endif

namespace uz32test {
namespace {

struct OverwriteCase {
  int32_t overwriteAll;
  int32_t prompt;
  std::vector<int32_t> answers;
  size_t asks;
  const char* keep;     // content of keep.txt afterwards
  const char* replace;  // content of replace-me.txt afterwards
};

TEST(Unzip32Overwrite, OptionsAndAnswersDecideWhichFilesAreReplaced) {
  const std::vector<OverwriteCase> cases = {
      {1, 1, {}, 0, "new keep", "new replace"},  // the updater's options
      {0, 1, {UNZIP_REPLACE_KEEP, UNZIP_REPLACE_KEEP}, 2, "old keep", "old replace"},
      {0, 1, {UNZIP_REPLACE_YES, UNZIP_REPLACE_YES}, 2, "new keep", "new replace"},
      {0, 1, {UNZIP_REPLACE_KEEP, UNZIP_REPLACE_YES}, 2, "old keep", "new replace"},
      {0, 1, {UNZIP_REPLACE_KEEP_ALL}, 1, "old keep", "old replace"},
      {0, 1, {UNZIP_REPLACE_ALL}, 1, "new keep", "new replace"},
      {0, 1, {55, 0}, 2, "old keep", "old replace"},  // unknown answers keep the file
      {0, 0, {}, 0, "old keep", "old replace"},
  };
  for (const OverwriteCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.overwriteAll) + std::to_string(c.prompt) + " answers " +
                 std::to_string(c.answers.size()));
    Sandbox box("overwrite");
    WriteText(box.target() / "keep.txt", "old keep");
    WriteText(box.target() / "replace-me.txt", "old replace");
    auto before = box.Snapshot();
    Call call;
    call.options.OverwriteAll = c.overwriteAll;
    call.options.PromptToOverwrite = c.prompt;
    call.calls.replaceAnswers.assign(c.answers.begin(), c.answers.end());
    ASSERT_EQ(call.Go(Fixture("overwrite.zip"), box.folder()), UNZIP_OK) << call.calls.printed;
    ASSERT_EQ(call.calls.replaceAsked.size(), c.asks);
    if (c.asks > 0) {
      EXPECT_EQ(fs::path(call.calls.replaceAsked[0]), box.target() / "keep.txt");
    }
    EXPECT_EQ(ReadText(box.target() / "keep.txt"), c.keep);
    EXPECT_EQ(ReadText(box.target() / "replace-me.txt"), c.replace);
    EXPECT_EQ(ReadText(box.target() / "new.txt"), "brand new");
    auto after = box.Snapshot();
    for (const char* f : {"target/keep.txt", "target/replace-me.txt", "target/new.txt"}) {
      after.erase(f);
      before.erase(f);
    }
    EXPECT_EQ(after, before);
  }
}

TEST(Unzip32Service, ANonZeroAnswerStopsTheRunWithNothingWritten) {
  Sandbox box("service");
  WriteText(box.target() / "alpha.txt", "old alpha");
  const auto before = box.Snapshot();
  Call call;
  call.calls.stopAtService = 1;
  EXPECT_EQ(call.Go(Fixture("py_deflated.zip"), box.folder()), UNZIP_ERR_STOPPED);
  EXPECT_EQ(call.calls.serviced, (std::vector<std::string>{"alpha.txt", "sub/dir/beta.bin"}));
  EXPECT_TRUE(call.calls.messages.empty());
  EXPECT_EQ(box.Snapshot(), before);
}

TEST(Unzip32Leftovers, FilesOfAnEarlierRunAreRemovedOthersAreNot) {
  Sandbox box("leftovers");
  WriteText(box.target() / ".~uz32-99-0.old", "old");
  WriteText(box.target() / ".~uz32-99-1.tmp", "tmp");
  WriteText(box.target() / "~uz32-note.tmp", "mine");
  Call call;
  ASSERT_EQ(call.Go(Fixture("small.zip"), box.folder()), UNZIP_OK);
  EXPECT_FALSE(fs::exists(box.target() / ".~uz32-99-0.old"));
  EXPECT_FALSE(fs::exists(box.target() / ".~uz32-99-1.tmp"));
  EXPECT_EQ(ReadText(box.target() / "~uz32-note.tmp"), "mine");
}

#ifdef _WIN32

// Names in the folder that are this library's renamed-aside files.
std::vector<fs::path> AsideFiles(const fs::path& folder) {
  std::vector<fs::path> found;
  for (const auto& e : fs::directory_iterator(folder)) {
    if (e.path().filename().string().rfind(".~uz32-", 0) == 0) found.push_back(e.path());
  }
  return found;
}

TEST(Unzip32InUse, ALoadedLibraryIsRenamedAsideAndReplaced) {
  Sandbox box("inuse");
  const fs::path dll = box.target() / "inuse.dll";
  fs::copy_file(vlrtest::BinDir() + "\\unzip32.dll", dll);
  HMODULE loaded = LoadLibraryW(dll.wstring().c_str());
  ASSERT_NE(loaded, nullptr);
  // Really in use: it cannot be opened for writing.
  HANDLE h = CreateFileW(dll.wstring().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);

  Call call;
  EXPECT_EQ(call.Go(Fixture("inuse.zip"), box.folder()), UNZIP_OK) << call.calls.printed;
  EXPECT_EQ(ReadText(dll), "new dll content");
  FreeLibrary(loaded);

  Call next;  // the next run removes what could not be deleted while in use
  EXPECT_EQ(next.Go(Fixture("small.zip"), box.folder()), UNZIP_OK);
  EXPECT_TRUE(AsideFiles(box.target()).empty());
}

TEST(Unzip32InUse, AFileThatCannotBeMovedUndoesTheFilesAlreadyMoved) {
  Sandbox box("locked");
  WriteText(box.target() / "aaa.txt", "old aaa");
  WriteText(box.target() / "locked.txt", "old locked");
  const auto before = box.Snapshot();
  // Open without FILE_SHARE_DELETE: it can be neither replaced nor renamed.
  HANDLE h = CreateFileW((box.target() / "locked.txt").wstring().c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  Call call;
  EXPECT_EQ(call.Go(Fixture("lockorder.zip"), box.folder()), UNZIP_ERR_DISK_FULL);
  CloseHandle(h);
  EXPECT_NE(call.calls.printed.find("cannot replace"), std::string::npos) << call.calls.printed;
  EXPECT_EQ(box.Snapshot(), before);
}

// A zip of stored members, made here: a member named by the system's short name is known
// only at run time.
std::string StoredZip(const std::vector<std::pair<std::string, std::string>>& members) {
  const auto put = [](std::string& s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  const auto crc32 = [](const std::string& data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : data) {
      crc ^= c;
      for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
  };
  std::string zip, central;
  for (const auto& [name, data] : members) {
    const uint32_t offset = static_cast<uint32_t>(zip.size());
    std::string shared;  // version needed .. sizes, and the name's length, no extra field
    put(shared, 10, 2);
    put(shared, 0, 2);
    put(shared, 0, 2);
    put(shared, 0, 2);
    put(shared, 0x21, 2);  // 1980-01-01
    put(shared, crc32(data), 4);
    put(shared, static_cast<uint32_t>(data.size()), 4);
    put(shared, static_cast<uint32_t>(data.size()), 4);
    put(shared, static_cast<uint32_t>(name.size()), 2);
    put(shared, 0, 2);
    put(zip, 0x04034b50, 4);
    zip += shared + name + data;
    put(central, 0x02014b50, 4);
    put(central, 20, 2);
    central += shared;
    put(central, 0, 2);   // comment
    put(central, 0, 2);   // disk
    put(central, 0, 2);   // internal attributes
    put(central, 0, 4);   // external attributes
    put(central, offset, 4);
    central += name;
  }
  const uint32_t start = static_cast<uint32_t>(zip.size());
  zip += central;
  put(zip, 0x06054b50, 4);
  put(zip, 0, 4);
  put(zip, static_cast<uint32_t>(members.size()), 2);
  put(zip, static_cast<uint32_t>(members.size()), 2);
  put(zip, static_cast<uint32_t>(central.size()), 4);
  put(zip, start, 4);
  put(zip, 0, 2);
  return zip;
}

// Replacing a file through its short name would rename the file aside and put the new
// one in under the short name itself: the folder would lose vlrmainfr.exe.
TEST(Unzip32Alias, AMemberReachingAFileByItsShortNameIsRefused) {
  Sandbox box("alias");
  const fs::path real = box.target() / "vlrmainfr.exe";
  WriteText(real, "old veloran");
  wchar_t shortPath[MAX_PATH] = {};
  const DWORD n = GetShortPathNameW(real.wstring().c_str(), shortPath, MAX_PATH);
  ASSERT_GT(n, 0u);
  ASSERT_LT(n, static_cast<DWORD>(MAX_PATH));
  const std::string alias = fs::path(shortPath).filename().string();
  ASSERT_NE(alias, "vlrmainfr.exe") << "the system gave the file no short name";
  SCOPED_TRACE("short name " + alias);
  WriteText(box.root() / "alias.zip",
            StoredZip({{"vlrmainfr.exe", "new veloran"}, {alias, "through the alias"}}));
  const auto before = box.Snapshot();
  Call call;
  EXPECT_EQ(call.Go((box.root() / "alias.zip").string(), box.folder()), UNZIP_ERR_FORMAT);
  EXPECT_NE(call.calls.printed.find("refusing member '" + alias + "'"), std::string::npos)
      << call.calls.printed;
  EXPECT_EQ(box.Snapshot(), before);
  // The same name as the file, in another case, is the file's own name: replaced.
  WriteText(box.root() / "case.zip", StoredZip({{"VLRMAINFR.EXE", "new veloran"}}));
  Call again;
  EXPECT_EQ(again.Go((box.root() / "case.zip").string(), box.folder()), UNZIP_OK)
      << again.calls.printed;
  EXPECT_EQ(ReadText(real), "new veloran");
}

#endif

}  // namespace
}  // namespace uz32test
