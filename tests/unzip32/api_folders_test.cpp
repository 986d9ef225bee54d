// Recreating stored folders (RecreateFolders = 1): nested paths and folder entries
// below the extraction folder, names made relative, every component held to the
// file-name rules, no way out of the folder (not through a link either), and the whole
// tree left as it was whenever the call fails.
#include <gtest/gtest.h>

#include "unzip32_harness.h"

namespace uz32test {
namespace {

Call FolderCall() {
  Call call;
  call.options.RecreateFolders = 1;
  return call;
}

// Removes the given files (checking their content) and folders from after, so what
// remains can be compared with the tree before the call.
void TakeOut(std::map<std::string, std::string>& after, const Sandbox& box,
             const std::map<std::string, std::string>& files,
             const std::vector<std::string>& folders) {
  for (const auto& [file, content] : files) {
    EXPECT_EQ(ReadText(box.target() / fs::path(file)), content) << file;
    EXPECT_EQ(after.erase("target/" + file), 1u) << file;
  }
  for (const std::string& folder : folders) {
    EXPECT_EQ(after["target/" + folder], "<folder>") << folder;
    after.erase("target/" + folder);
  }
}

TEST(Unzip32Folders, NestedPathsAndFolderEntriesAreRecreated) {
  Sandbox box("tree");
  auto before = box.Snapshot();
  Call call = FolderCall();
  ASSERT_EQ(call.Go(Fixture("tree.zip"), box.folder()), UNZIP_OK) << call.calls.printed;
  auto after = box.Snapshot();
  // "Top/Other.txt" goes into the folder "top" the archive named first.
  TakeOut(after, box,
          {{"top/mid/deep.txt", "deep"}, {"back/slash/b.txt", "backslashed"},
           {"top/Other.txt", "other case"}, {"root.txt", "root"}},
          {"top", "top/mid", "top/empty", "back", "back/slash"});
  EXPECT_TRUE(fs::is_empty(box.target() / "top" / "empty"));
  EXPECT_EQ(ReadText(box.target() / "sub" / "inner.txt"), "new inner");
  after.erase("target/sub/inner.txt");
  before.erase("target/sub/inner.txt");
  EXPECT_EQ(after, before);

  EXPECT_NE(call.calls.printed.find("inflating: top/mid/deep.txt\n"), std::string::npos)
      << call.calls.printed;
  EXPECT_NE(call.calls.printed.find("creating: top/empty/\n"), std::string::npos);
  EXPECT_EQ(call.calls.printed.find("creating: sub/"), std::string::npos);  // it was there
  EXPECT_EQ(call.calls.messages.size(), 5u);
  EXPECT_EQ(call.calls.serviced.size(), 5u);
  EXPECT_EQ(call.calls.messages.at(1).name, "back\\slash\\b.txt");  // the stored name
}

TEST(Unzip32Folders, DrivesServersAndLeadingSeparatorsAreDroppedWithAWarning) {
  Sandbox box("absolute");
  const auto before = box.Snapshot();
  Call call = FolderCall();
  ASSERT_EQ(call.Go(Fixture("tree_abs.zip"), box.folder()), UNZIP_OK) << call.calls.printed;
  auto after = box.Snapshot();
  TakeOut(after, box,
          {{"abs/x.txt", "abs"}, {"drive/y.txt", "drive"}, {"unc/z.txt", "unc"},
           {"unc2/w.txt", "unc2"}},
          {"abs", "drive", "unc", "unc2"});
  EXPECT_EQ(after, before);
  for (const char* line :
       {"warning: member '/abs/x.txt' is written as abs/x.txt (the leading '/' is dropped)\n",
        "warning: member 'C:\\drive\\y.txt' is written as drive/y.txt",
        "warning: member '\\\\server\\share\\unc\\z.txt' is written as unc/z.txt",
        "warning: member '//srv/shr/unc2/w.txt' is written as unc2/w.txt"}) {
    EXPECT_NE(call.calls.printed.find(line), std::string::npos) << line << call.calls.printed;
  }
}

TEST(Unzip32Folders, UnsafeOrConflictingPathsAndLateFailuresChangeNothing) {
  const auto rows = Manifest("tree_cases.txt");
  ASSERT_GE(rows.size(), 15u);
  for (const auto& row : rows) {
    SCOPED_TRACE(row[0]);
    Sandbox box("cases");
    const auto before = box.Snapshot();
    Call call = FolderCall();
    EXPECT_EQ(call.Go(Fixture(row[0]), box.folder()), std::stoi(row[1])) << call.calls.printed;
    EXPECT_NE(call.calls.printed.find("error: "), std::string::npos);
    if (row[0] != "tree_bad_crc.zip" && row[0] != "tree_file_in_way.zip") {
      EXPECT_NE(call.calls.printed.find("member"), std::string::npos) << call.calls.printed;
    }
    EXPECT_TRUE(call.calls.messages.empty());
    EXPECT_EQ(box.Snapshot(), before);
  }
}

TEST(Unzip32Folders, AnArchiveOfFoldersOnlyMakesThem) {
  Sandbox box("only_folders");
  Call call = FolderCall();
  ASSERT_EQ(call.Go(Fixture("tree_only_folders.zip"), box.folder()), UNZIP_OK)
      << call.calls.printed;
  EXPECT_TRUE(fs::is_directory(box.target() / "d1" / "d2"));
  EXPECT_TRUE(call.calls.messages.empty());
  Call flat;  // without the option there is nothing to extract, as before
  Sandbox other("only_folders_flat");
  EXPECT_EQ(flat.Go(Fixture("tree_only_folders.zip"), other.folder()), UNZIP_ERR_NO_MEMBERS);
}

TEST(Unzip32Folders, WithoutTheOptionEveryFileGoesStraightIntoTheFolder) {
  Sandbox box("flat");
  const auto before = box.Snapshot();
  Call call;
  ASSERT_EQ(call.Go(Fixture("tree_abs.zip"), box.folder()), UNZIP_OK) << call.calls.printed;
  auto after = box.Snapshot();
  TakeOut(after, box, {{"x.txt", "abs"}, {"y.txt", "drive"}, {"z.txt", "unc"}, {"w.txt", "unc2"}},
          {});
  EXPECT_EQ(after, before);
  EXPECT_EQ(call.calls.printed.find("warning"), std::string::npos);
}

#ifndef _WIN32
TEST(Unzip32Folders, ALinkInsideTheFolderIsNeverFollowed) {
  for (const char* pointsTo : {"../sibling", "../outside.txt", "sub"}) {
    SCOPED_TRACE(pointsTo);
    Sandbox box("link");
    fs::create_symlink(pointsTo, box.target() / "link");
    const auto before = box.Snapshot();
    Call call = FolderCall();
    EXPECT_EQ(call.Go(Fixture("tree_link.zip"), box.folder()), UNZIP_ERR_DISK_FULL)
        << call.calls.printed;
    EXPECT_NE(call.calls.printed.find("links are not followed"), std::string::npos);
    EXPECT_EQ(box.Snapshot(), before);
    EXPECT_FALSE(fs::exists(box.root() / "sibling" / "evil.txt"));
    EXPECT_FALSE(fs::exists(box.target() / "sub" / "evil.txt"));
  }
}
#endif

}  // namespace
}  // namespace uz32test
