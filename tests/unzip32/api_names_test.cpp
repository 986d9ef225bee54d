// The include and exclude name lists: wildcards over the whole stored name, IgnoreCase,
// an include pattern that selects nothing, and the counts as the caller passes them.
// Members a list leaves out are neither checked, reported nor offered to the service
// procedure.
#include <gtest/gtest.h>

#include "unzip32_harness.h"

namespace uz32test {
namespace {

// Runs call on lists.zip in a fresh sandbox; expects rc and, on success, exactly files
// (path below the folder -> content) added to the tree.
void Expect(Call& call, int32_t rc, const std::map<std::string, std::string>& files) {
  Sandbox box("lists");
  const auto before = box.Snapshot();
  ASSERT_EQ(call.Go(Fixture("lists.zip"), box.folder()), rc) << call.calls.printed;
  auto after = box.Snapshot();
  for (const auto& [file, content] : files) {
    EXPECT_EQ(ReadText(box.target() / fs::path(file)), content) << file;
    EXPECT_EQ(after.erase("target/" + file), 1u) << file;
  }
  for (auto it = after.begin(); it != after.end();) {  // folders the files needed
    it = it->second == "<folder>" && !before.count(it->first) ? after.erase(it) : std::next(it);
  }
  EXPECT_EQ(after, before);
  EXPECT_EQ(call.calls.messages.size(), files.size());
  EXPECT_EQ(call.calls.serviced.size(), files.size());
}

TEST(Unzip32NameLists, IncludeAndExcludePatternsChooseTheMembers) {
  Call call;
  call.Include({"*.txt", "bin/*"});
  call.Exclude({"bin/old/*", "bad*"});
  Expect(call, UNZIP_OK, {{"readme.txt", "readme"}, {"app.exe", "app"}, {"lib.dll", "lib"}});
  EXPECT_EQ(call.calls.serviced,
            (std::vector<std::string>{"readme.txt", "bin/app.exe", "bin/lib.dll"}));

  Call onlyExclude;  // no include list: everything not excluded
  onlyExclude.Exclude({"bad:*", "bin/*", "d*"});
  Expect(onlyExclude, UNZIP_OK, {{"readme.txt", "readme"}});

  Call unfiltered;  // the member the lists left out is refused otherwise
  Expect(unfiltered, UNZIP_ERR_FORMAT, {});
}

TEST(Unzip32NameLists, IgnoreCaseFoldsBothLists) {
  Call exact;
  exact.Include({"*.txt"});
  exact.Exclude({"BAD*"});
  Expect(exact, UNZIP_ERR_FORMAT, {});  // BAD* leaves bad:name.txt in, which is refused
  Call folded;
  folded.options.IgnoreCase = 1;
  folded.Include({"*.txt"});
  folded.Exclude({"BAD*"});
  Expect(folded, UNZIP_OK, {{"readme.txt", "readme"}, {"Guide.TXT", "guide"}});
}

TEST(Unzip32NameLists, QuestionMarksSetsAndBackslashesWithRecreatedFolders) {
  Call call;
  call.options.RecreateFolders = 1;
  call.Include({"data\\?[12].bin", "bin/[!a]*"});
  Expect(call, UNZIP_OK,
         {{"data/a1.bin", "a1"}, {"data/b2.bin", "b2"}, {"bin/lib.dll", "lib"},
          {"bin/old/lib.dll", "old lib"}});
}

TEST(Unzip32NameLists, AnIncludePatternThatSelectsNothingGives11AndChangesNothing) {
  Call call;
  call.Include({"*.txt", "nothing*", "zz?"});
  call.Exclude({"bad*"});
  Expect(call, UNZIP_ERR_NO_MEMBERS, {});
  EXPECT_NE(call.calls.printed.find("error: no member matches 'nothing*', 'zz?'\n"),
            std::string::npos)
      << call.calls.printed;
  Call excludedAway;  // a pattern whose only members are excluded selected nothing
  excludedAway.Include({"readme.txt"});
  excludedAway.Exclude({"*"});
  Expect(excludedAway, UNZIP_ERR_NO_MEMBERS, {});
  EXPECT_NE(excludedAway.calls.printed.find("'readme.txt'"), std::string::npos);
}

TEST(Unzip32NameLists, CountsAreReadWithinTheRecordAndStopAtANullName) {
  Call shortList;  // the count says 3, the list ends after one name
  shortList.Include({"readme.txt"});
  shortList.includeCount = 3;
  Expect(shortList, UNZIP_OK, {{"readme.txt", "readme"}});
  for (int32_t count : {-1, 101}) {
    Call call;
    call.Include({"readme.txt"});
    call.includeCount = count;
    Expect(call, UNZIP_ERR_BAD_OPTIONS, {});
    EXPECT_NE(call.calls.printed.find("not supported"), std::string::npos);
  }
  Call emptyExclude;
  emptyExclude.excludeCount = 1;
  Expect(emptyExclude, UNZIP_ERR_BAD_OPTIONS, {});
  Call full;  // a full record: 100 names, the last one the only that matches
  std::vector<std::string> names(99, "no-such-*");
  names.push_back("readme.txt");
  full.Include(names);
  Expect(full, UNZIP_ERR_NO_MEMBERS, {});
  EXPECT_NE(full.calls.printed.find("'no-such-*'"), std::string::npos);
}

TEST(Unzip32NameLists, ListingShowsOnlyTheChosenMembers) {
  Sandbox box("listing");
  const auto before = box.Snapshot();
  Call call;
  call.options.VerboseListing = 1;
  call.Include({"docs/*"});
  ASSERT_EQ(call.Go(Fixture("lists.zip"), box.folder()), UNZIP_OK) << call.calls.printed;
  ASSERT_EQ(call.calls.messages.size(), 2u);
  EXPECT_EQ(call.calls.messages[0].name, "docs/Guide.TXT");
  EXPECT_EQ(call.calls.messages[1].name, "docs/notes.md");
  EXPECT_EQ(box.Snapshot(), before);
}

}  // namespace
}  // namespace uz32test
